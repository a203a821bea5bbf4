// CSmartEdit: an edit box that accepts chosen character classes and follows a linked slider.
#pragma once

#include <climits>
#include <string>

#include "Edit.h"
#include "EditRules.h"

class CLinkSlider;

// The slider is borrowed (both must live as long as each other's windows). In real-value
// mode positions 0..S stand for [min, max] with ten positions per last shown digit; otherwise
// the text is the position itself. The current position starts at INT_MIN (nothing shown).
class CSmartEdit : public CEdit {
public:
    CSmartEdit() = default;
    // A slider still linked forgets this edit box.
    ~CSmartEdit() override;

    void SetParseType(uint16_t classes) { m_wParseType = classes; }
    uint16_t GetParseType() const { return m_wParseType; }

    // Links the slider `sliderId` of `page` (already bound to a CLinkSlider) both ways.
    BOOL LinkSlider(CWnd* page, UINT sliderId);
    // Real-value mode over [min, max], shown with `format` (one floating-point conversion).
    void SetRealRange(double min, double max, int digits, const char* format);
    // Whole-number mode over the slider range [min, max].
    void SetSlideRange(int min, int max);
    // Shows the value of a slider position; FALSE when it is the one shown already.
    BOOL ShowPosition(int position);
    // Shows a value within the range (with 0.001 of slack); FALSE otherwise.
    BOOL ShowValue(double value);

    CLinkSlider* GetSlider() const { return m_pSlider; }
    // Called by a slider that goes away or links another edit box.
    void ForgetSlider(CLinkSlider* slider) {
        if (m_pSlider == slider) {
            m_pSlider = nullptr;
        }
    }
    int GetSliderMin() const { return m_iMin; }
    int GetSliderMax() const { return m_iMax; }
    int GetCurrentPos() const { return m_iPos; }
    double GetValue() const { return m_dValue; }

protected:
    void OnChar(UINT ch, UINT repeat, UINT flags);
    BOOL OnUpdate();
    BOOL OnKillFocus();
    DECLARE_MESSAGE_MAP()

private:
    void SetUpSlider();
    // Moves the slider to the typed value and rewrites a text outside the range, except a
    // value below the range while the user types it.
    void UpdateValue(bool typing);

    uint16_t m_wParseType = editrules::kAll;
    CLinkSlider* m_pSlider = nullptr;
    std::string m_format;
    bool m_bUseReal = false;
    int m_iMin = 0;
    int m_iMax = 1000;
    int m_iPos = INT_MIN;
    int m_iRange = 1000;
    int m_iLineSize = 10;
    double m_dMin = 0;
    double m_dMax = 0;
    double m_dValue = 0;
    double m_dRange = 0;
    int m_digits = 0;
};

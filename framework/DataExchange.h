// Dialog data exchange: moving member values to and from a dialog's controls.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

class CWnd;

// Thrown when a value failed validation after the user has been told; UpdateData catches it.
class CUserException : public std::exception {
public:
    const char* what() const noexcept override { return "validation failed"; }
};

// One exchange pass over a dialog. In the saving direction the first failure stops the pass.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;

    // The control with this id; remembered as the one to focus on failure. A missing control
    // is a programming error and throws std::logic_error.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Focuses the last prepared control (selecting an edit's text) and throws CUserException.
    [[noreturn]] void Fail();

private:
    HWND m_lastControl = nullptr;
    bool m_lastIsEdit = false;
};

// Binds a control object to the template control `id` (subclassing it) on the first exchange.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Text exchange. Numbers are written as "%d", "%.*g" with 6 (float) or 15 (double) digits and
// read back with "%d" / "%lf"; a text that does not read (or reads as an infinity, not a
// number, or a value beyond a float's range) shows "Enter an integer." or "Enter a number."
// and fails the exchange at that control.
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, float& value);
void DDX_Text(CDataExchange* pDX, int id, double& value);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);

// Dialog data exchange with the framework's text forms and messages.
#include "DataExchange.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "WinApp.h"
#include "Wnd.h"

namespace {

std::string WindowText(HWND hWnd) {
    int length = ::GetWindowTextLengthA(hWnd);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    int n = ::GetWindowTextA(hWnd, &text[0], static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

bool ParseInt(const std::string& text, int& value) {
    const char* p = text.c_str();
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        return false;
    }
    while (*end == ' ' || *end == '\t') {
        ++end;
    }
    if (*end != '\0') {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// `limit` is the largest magnitude the member can hold. An infinity or not-a-number, which
// "%lf" also reads, is not a number either.
void ExchangeReal(CDataExchange* pDX, int id, double& value, int digits, double limit) {
    HWND control = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        std::string text = WindowText(control);
        double parsed = 0;
        if (std::sscanf(text.c_str(), "%lf", &parsed) != 1 || !(std::fabs(parsed) <= limit)) {
            AfxMessageBox("Enter a number.");
            pDX->Fail();
        }
        value = parsed;
    } else {
        char text[64];
        std::snprintf(text, sizeof(text), "%.*g", digits, value);
        ::SetWindowTextA(control, text);
    }
}

}  // namespace

HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    if (!control) {
        throw std::logic_error("dialog data exchange: no control " + std::to_string(id));
    }
    m_lastControl = control;
    m_lastIsEdit = false;
    return control;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND control = PrepareCtrl(id);
    m_lastIsEdit = true;
    return control;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_lastControl) {
        ::SetFocus(m_lastControl);
        if (m_lastIsEdit) {
            ::SendMessageA(m_lastControl, EM_SETSEL, 0, -1);
        }
    }
    throw CUserException();
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd) {
        return;
    }
    HWND item = pDX->PrepareCtrl(id);
    if (!control.SubclassWindow(item)) {
        throw std::logic_error("dialog data exchange: control " + std::to_string(id) +
                               " is already bound");
    }
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    HWND control = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        int parsed = 0;
        if (!ParseInt(WindowText(control), parsed)) {
            AfxMessageBox("Enter an integer.");
            pDX->Fail();
        }
        value = parsed;
    } else {
        ::SetWindowTextA(control, std::to_string(value).c_str());
    }
}

void DDX_Text(CDataExchange* pDX, int id, float& value) {
    double wide = value;
    ExchangeReal(pDX, id, wide, FLT_DIG, FLT_MAX);
    if (pDX->m_bSaveAndValidate) {
        value = static_cast<float>(wide);
    }
}

void DDX_Text(CDataExchange* pDX, int id, double& value) { ExchangeReal(pDX, id, value, DBL_DIG, DBL_MAX); }

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
    HWND control = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        value = WindowText(control);
    } else {
        ::SetWindowTextA(control, value.c_str());
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageA(control, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

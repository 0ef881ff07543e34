#include "framework/WinAppEx.h"

namespace {
CWinAppEx* g_pApp = nullptr;
}

CWinAppEx::CWinAppEx() {
    g_pApp = this;
}

CWinAppEx::~CWinAppEx() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinAppEx* CWinAppEx::GetApp() {
    return g_pApp;
}

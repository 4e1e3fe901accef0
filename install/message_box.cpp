#include "message_box.h"

#include <cstdlib>

namespace {

const UINT kCodePage1250 = 1250;

// The text in UTF-16, in a buffer from the free store; null when it cannot
// be converted.
WCHAR *Widen(const char *psz)
{
    int cch = plat::MultiByteToWideChar(kCodePage1250, 0, psz, -1, nullptr, 0);
    if (cch <= 0)
        return nullptr;
    WCHAR *pwsz = static_cast<WCHAR *>(std::malloc(cch * sizeof(WCHAR)));
    if (pwsz && plat::MultiByteToWideChar(kCodePage1250, 0, psz, -1, pwsz, cch) != cch) {
        std::free(pwsz);
        pwsz = nullptr;
    }
    return pwsz;
}

}

void ShowMessage(const char *pszText, const char *pszCaption, UINT uType)
{
    WCHAR *pwszText = Widen(pszText);
    WCHAR *pwszCaption = Widen(pszCaption);
    if (pwszText && pwszCaption)
        plat::MessageBoxW(nullptr, pwszText, pwszCaption, uType);
    else
        // Garbled where the system's code page is not 1250, but shown.
        plat::MessageBoxA(nullptr, pszText, pszCaption, uType);
    std::free(pwszText);
    std::free(pwszCaption);
}

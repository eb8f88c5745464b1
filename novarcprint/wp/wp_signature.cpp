/*
 * Signatures in a document: the electronic-signature line (who signed, on
 * which day, at what time), and the signature run whose box the signer's
 * image fills.  The image itself comes from the image cache, where the
 * signature transfer put it under the name built here.
 */
#include <cstdio>
#include <cstring>

#include "wp_render.h"

namespace {

/* Gregorian month, day and year of a Julian day number. */
void CivilDate(long long J, int *piMonth, int *piDay, long long *pllYear)
{
    const long long f = J + 1401 + (((4 * J + 274277) / 146097) * 3) / 4 - 38;
    const long long e = 4 * f + 3;
    const long long g = (e % 1461) / 4;
    const long long h = 5 * g + 2;
    *piDay = (int)((h % 153) / 5 + 1);
    *piMonth = (int)((h / 153 + 2) % 12 + 1);
    *pllYear = e / 1461 - 4716 + (12 + 2 - *piMonth) / 12;
}

void Append(char *szOut, int iSize, const char *szText)
{
    const size_t n = strlen(szOut);
    if ((int)n < iSize - 1)
        snprintf(szOut + n, (size_t)iSize - n, "%s", szText);
}

} // namespace

void FormatESignatureLine(char *szOut, int iSize, const char *szName, int iDate, int iTime,
                          int iFlags)
{
    if (iSize <= 0)
        return;
    szOut[0] = 0;
    Append(szOut, iSize, "Electronically signed");
    if (iFlags & ESIG_NAME) {
        Append(szOut, iSize, (iFlags & ESIG_AGENT) ? " by agent of provider: " : " by ");
        Append(szOut, iSize, szName ? szName : "");
    }
    if (!(iFlags & ESIG_DATE))
        return;
    char szPart[64];
    if (iDate <= 0) {
        snprintf(szPart, sizeof(szPart), " on 00/00/0000");
    } else {
        int iMonth = 0, iDay = 0;
        long long llYear = 0;
        CivilDate(iDate, &iMonth, &iDay, &llYear);
        snprintf(szPart, sizeof(szPart), " on %2.2d/%2.2d/%4.4lld", iMonth, iDay, llYear);
    }
    Append(szOut, iSize, szPart);
    if (!(iFlags & ESIG_TIME))
        return;
    const int iMinutes = ((iTime % 1440) + 1440) % 1440;
    int iHour = iMinutes / 60;
    const char *szSuffix = iHour < 12 ? " am" : " pm";
    if (iHour == 0)
        iHour = 12;
    else if (iHour > 12)
        iHour -= 12;
    char szTime[32];
    snprintf(szTime, sizeof(szTime), "%2.2d:%2.2d%s", iHour, iMinutes % 60, szSuffix);
    if (szTime[0] == '0')
        szTime[0] = ' ';
    Append(szOut, iSize, " at ");
    Append(szOut, iSize, szTime);
}

bool WpMakeSignatureRun(WpRender *r, const WpCodeRecord &record, WpRun *pRun)
{
    WpSignatureKeys keys;
    if (!DecodeSignatureKeys(record, &keys) || keys.pName.find("Unsigned") != std::string::npos)
        return false;
    int iSum = 0;
    for (size_t i = 0; i < keys.pName.size() && i < 60; i++)
        iSum += (signed char)keys.pName[i];
    const int v1 = record.V1(), v3 = record.V3();
    snprintf(pRun->szSignatureFile, sizeof(pRun->szSignatureFile),
             v1 ? "%d_signaturewtext%dversion%d%d%d%i" : "%d_signature%dversion%d%d%d%i",
             r->s->m_iProcessId, keys.iUserId, keys.iFileKey, keys.iDate, keys.iTime, iSum);
    if (v3 & (0x02 | 0x04))
        pRun->iDate = keys.iDate;
    if (v3 & 0x04)
        pRun->iTime = keys.iTime;
    if (v3 & 0x10) {
        const int iFlags = ESIG_NAME | ((v3 & 0x06) ? ESIG_DATE : 0) |
                           ((v3 & 0x04) ? ESIG_TIME : 0) | ((v3 & 0x20) ? ESIG_AGENT : 0);
        FormatESignatureLine(pRun->szESig, WP_ESIG_TEXT_SIZE, keys.pName.c_str(), keys.iDate,
                             keys.iTime, iFlags);
    }
    const int iTenths = keys.iHeightTenths > 0 ? keys.iHeightTenths : 0;
    const int iHeight = r->iDpiX * iTenths / 10;
    pRun->kind = WP_RUN_SIGNATURE;
    pRun->style = r->cur;
    pRun->iImageHeight = iHeight;
    pRun->iWidth = iTenths == 8 ? (int)(6.5 * (r->iDpiX * 5 / 10)) : (int)(6.5 * iHeight);
    pRun->iHeight = iHeight;
    if (pRun->szESig[0])
        pRun->iHeight += (int)((long long)r->base.iSize * 1000 * r->iDpiY / 72000);
    return true;
}

void WpDrawSignature(WpRender *r, const WpRun &run, int iBaseline)
{
    const int iTop = iBaseline - run.iHeight;
    WpPrintSignatureImage(r, run, iTop);
    if (!run.szESig[0])
        return;
    SelectObject(r->hdc, WpFont(r, run.style));
    SetTextColor(r->hdc, run.style.crText);
    TextOutA(r->hdc, run.iX, iBaseline, run.szESig, (int)strlen(run.szESig));
}

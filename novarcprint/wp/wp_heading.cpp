/*
 * Headings and footings of the heading variant: one line at the top and one
 * at the bottom of the page, in the document's base font, with the page
 * number in a column ending at the right limit.  A heading sent as JSON (a
 * "structured heading") spreads its items over the width instead.
 */
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <json/json.h>

#include "draw.h"
#include "wp_render.h"

namespace {

int TextWidth(HDC hdc, const char *szText, int n)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(hdc, szText, n, &size);
    return size.cx;
}

void DrawLine(WpRender *r, const char *szText, int y)
{
    SelectObject(r->hdc, WpFont(r, r->base));
    SetTextColor(r->hdc, r->base.crText);
    const int x = r->Margins().iLeft;
    if (DrawStructuredHeading(r->hdc, szText, x, y, r->UsableWidth()))
        return;
    char szPage[32];
    snprintf(szPage, sizeof(szPage), "Page #%d", r->iPage);
    const int iColumn = r->RightLimit() - TextWidth(r->hdc, szPage, (int)strlen(szPage));
    /* A heading too long for the room beside the page number is cut. */
    int n = (int)strlen(szText);
    while (n > 0 && x + TextWidth(r->hdc, szText, n) > iColumn)
        n--;
    TextOutA(r->hdc, x, y, szText, n);
    TextOutA(r->hdc, iColumn, y, szPage, (int)strlen(szPage));
}

} // namespace

void WpDrawHeading(WpRender *r)
{
    const WpHeading *h = r->pHeading;
    if (!h || h->iHeadingType == 0 || !h->szHeading[0])
        return;
    if (r->iPage == 1 && !(r->pDoc->iPrintFlags & WP_FLAG_FIRST_PAGE_HEADING))
        return;
    const int y = (int)(0.75 * r->iBaseLineHeight +
                        r->iDpiY * HeadingTypePosition(h->iHeadingType) / 100 - r->iPhysY);
    DrawLine(r, h->szHeading, y);
}

void WpDrawFooting(WpRender *r)
{
    const WpHeading *h = r->pHeading;
    if (!h || h->iFootingType == 0 || !h->szFooting[0])
        return;
    const int y = (int)(r->iDpiY * (1100 - HeadingTypePosition(h->iFootingType)) / 100 - r->iPhysY -
                        0.75 * r->iBaseLineHeight);
    DrawLine(r, h->szFooting, y);
}

bool DrawStructuredHeading(HDC hdc, const char *szHeading, int x, int y, int iWidth)
{
    Json::Value root;
    try {
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        const char *pEnd = szHeading + strlen(szHeading);
        if (!reader->parse(szHeading, pEnd, &root, &errors) || !root.isObject())
            return false;
    } catch (const std::exception &) {
        return false;
    }
    /* Anything but a non-empty array of texts is drawn as a plain heading. */
    const Json::Value &items = root["structured heading"];
    if (!items.isArray() || items.empty())
        return false;
    std::vector<std::string> texts;
    for (const Json::Value &item : items) {
        if (!item.isString())
            return false;
        texts.push_back(item.asString());
    }
    std::vector<int> widths;
    long long llSum = 0;
    for (const std::string &t : texts) {
        widths.push_back(TextWidth(hdc, t.data(), (int)t.size()));
        llSum += widths.back();
    }
    const long long llSpare = iWidth - std::min<long long>(iWidth, llSum);
    const int iGap = (int)(llSpare / (long long)texts.size());
    for (size_t i = 0; i < texts.size(); i++) {
        TextOutA(hdc, x, y, texts[i].data(), (int)texts[i].size());
        x += widths[i] + iGap;
    }
    return true;
}

/*
 * Page breaks worked out before drawing, for documents whose pages end
 * where the editor laid them out (document type 2): the lines are measured
 * with the fonts the cells choose, summed down each page in 1/7200 inch,
 * and every line end gets an entry: the cell the next page starts at, or -1.
 */
#include <algorithm>

#include "wp_render.h"

namespace {

struct Measure {
    WpRender *r;
    int iFont;
    int iSize;
    int Height() const { return WpLineHeight7200(r, iFont, iSize); }
};

void MeasureFont(Measure *m, const WpCodeRecord &rec, int iBlockDepth)
{
    if (rec.Type() != WP_ATTRIBUTE || rec.V1() != FONT || iBlockDepth > 0)
        return;
    const int iMapped = MapWpFont(rec.V2());
    if (iMapped == 0) {
        m->r->s->Log("SP_FONT CalcCurPos NO FONT Using Default");
        m->iFont = 5;
        m->iSize = 10;
        return;
    }
    m->iFont = iMapped;
    m->iSize = rec.V3() < 1 ? m->r->base.iSize : rec.V3();
}

bool IsLineEnd(const WpCell &cell)
{
    switch (cell.code) {
    case HRT:
    case FFEED:
    case WP_LEGACY_SRT:
    case WP_SRT:
        return true;
    case WP_CODE_RECORD:
        return cell.pRecord && cell.pRecord->Type() == IMAGE && cell.pRecord->V1() == 0;
    default:
        return false;
    }
}

} // namespace

void WpComputePageBreaks(WpRender *r)
{
    std::vector<int> &breaks = r->s->m_Wp.m_PageBreaks;
    breaks.clear();
    const WpDocument &doc = *r->pDoc;
    const WpHeader &h = doc.header;
    Measure m{r, r->base.iFont, r->base.iSize};
    int iBlockDepth = 0;
    /* Pass 1: the height of every line (its tallest font) and its end. */
    std::vector<int> heights;
    std::vector<int> ends; /* index of the line-end cell */
    int iTallest = m.Height();
    for (int i = 0; i < doc.iMaxSize; i++) {
        const WpCell &cell = doc.wp_buf[i];
        if (cell.pRecord) {
            if (cell.pRecord->Type() == WP_BLOCK)
                iBlockDepth = cell.pRecord->V1() == 1 ? iBlockDepth + 1
                                                      : (iBlockDepth > 0 ? iBlockDepth - 1 : 0);
            MeasureFont(&m, *cell.pRecord, iBlockDepth);
            iTallest = std::max(iTallest, m.Height());
        }
        if (IsLineEnd(cell)) {
            heights.push_back(iTallest);
            ends.push_back(i);
            iTallest = m.Height();
        }
    }
    heights.push_back(iTallest); /* the line after the last end */
    /* Pass 2: sum down the pages. */
    const bool bFeeds = r->s->m_iFormFeedOption != 0;
    int iPage = 1;
    long long llSum = (long long)h.iFirstTopMargin * 72 + heights[0];
    breaks.reserve(ends.size());
    for (size_t k = 0; k < ends.size(); k++) {
        const int iNext = heights[k + 1];
        const int iBottom = iPage == 1 ? r->iFirstBottomHundredths : h.iBottomMargin;
        const bool bFeed = bFeeds && doc.wp_buf[ends[k]].code == FFEED;
        if (llSum + iNext + (long long)iBottom * 72 >= (long long)h.iPageLength * 100 || bFeed) {
            breaks.push_back(ends[k] + 1);
            iPage++;
            llSum = (long long)h.iTopMargin * 72 + iNext;
        } else {
            breaks.push_back(-1);
            llSum += iNext;
        }
    }
}

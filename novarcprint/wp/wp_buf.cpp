/*
 * The cell buffer of a document: capacity grows in powers of two, the used
 * size marks the cells that belong to the document, and every cell beyond
 * it is blank.  Cells own their records, so blanking or deleting a cell
 * frees its record and moving cells moves the ownership with them.
 */
#include <new>

#include "wp_document.h"

int WpCodeRecord::Int16At(int iOffset) const
{
    if (iOffset < 0 || iOffset + 2 > (int)bytes.size())
        return 0;
    return (int16_t)(uint16_t)(bytes[iOffset] | bytes[iOffset + 1] << 8);
}

int WpCodeRecord::Int32At(int iOffset) const
{
    if (iOffset < 0 || iOffset + 4 > (int)bytes.size())
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; i++)
        v |= (uint32_t)bytes[iOffset + i] << (8 * i);
    return (int)v;
}

const unsigned char *WpCodeRecord::Extra() const
{
    return bytes.size() > WP_RECORD_FIXED ? bytes.data() + WP_RECORD_FIXED : nullptr;
}

int WpCodeRecord::ExtraSize() const
{
    return bytes.size() > WP_RECORD_FIXED ? (int)bytes.size() - WP_RECORD_FIXED : 0;
}

namespace {

void Blank(WpCell *pCell)
{
    pCell->code = ' ';
    pCell->pRecord.reset();
}

bool Resize(WpDocument *pDoc, int iCount)
{
    try {
        pDoc->wp_buf.resize((size_t)iCount);
    } catch (const std::bad_alloc &) {
        return false;
    } catch (const std::length_error &) {
        return false;
    }
    return true;
}

} // namespace

bool wp_buf_alloc(WpDocument *pDoc, int iCount)
{
    wp_free_document(pDoc);
    if (iCount < 0)
        return false;
    return Resize(pDoc, iCount);
}

bool wp_buf_realloc(WpDocument *pDoc, int iCount)
{
    if (iCount < (int)pDoc->wp_buf.size())
        return true;
    return Resize(pDoc, iCount);
}

bool wp_buf_reserve(WpDocument *pDoc, int iCount)
{
    if (iCount > WP_MAX_CELLS + 100)
        return false;
    int iRounded = 1;
    while (iRounded < iCount)
        iRounded <<= 1;
    if ((int)pDoc->wp_buf.size() >= iRounded)
        return true;
    return pDoc->wp_buf.empty() ? wp_buf_alloc(pDoc, iRounded) : wp_buf_realloc(pDoc, iRounded);
}

bool wp_buf_set_max_size(WpDocument *pDoc, int iSize)
{
    if (iSize < 0 || iSize > (int)pDoc->wp_buf.size())
        return false;
    for (int i = iSize; i < pDoc->iMaxSize; i++)
        Blank(&pDoc->wp_buf[i]);
    pDoc->iMaxSize = iSize;
    return true;
}

void wp_buf_shrink_one(WpDocument *pDoc)
{
    if (pDoc->iMaxSize > 0)
        wp_buf_set_max_size(pDoc, pDoc->iMaxSize - 1);
}

void wp_buf_delete_cells(WpDocument *pDoc, int iFirst, int iCount)
{
    const int iCapacity = (int)pDoc->wp_buf.size();
    if (iFirst < 0 || iCount <= 0 || iFirst >= iCapacity)
        return;
    if (iCount > iCapacity - iFirst)
        iCount = iCapacity - iFirst;
    for (int i = iFirst; i < iFirst + iCount; i++)
        Blank(&pDoc->wp_buf[i]);
    for (int i = iFirst; i + iCount < iCapacity; i++) {
        pDoc->wp_buf[i].code = pDoc->wp_buf[i + iCount].code;
        pDoc->wp_buf[i].pRecord = std::move(pDoc->wp_buf[i + iCount].pRecord);
    }
    for (int i = iCapacity - iCount; i < iCapacity; i++)
        Blank(&pDoc->wp_buf[i]);
}

void wp_free_document(WpDocument *pDoc)
{
    std::vector<WpCell>().swap(pDoc->wp_buf);
    pDoc->iMaxSize = 0;
}

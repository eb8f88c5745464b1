/*
 * The word-processor half of the print session: the data-field list that
 * PRINT_DATA_FIELD_INFO fills for the next document, the page-break list the
 * renderer works out before it draws, and the page count.  Held inside the
 * session; touched only under the session's print lock.
 */
#ifndef NOVARCPRINT_WP_STATE_H
#define NOVARCPRINT_WP_STATE_H

#include <vector>

#include "data_fields.h"

struct WpState {
    DataFieldList m_DataFields;
    /* Per line end of the document: the cell a new page starts at, or -1. */
    std::vector<int> m_PageBreaks;
    int m_iPageCount = 0;
};

#endif /* NOVARCPRINT_WP_STATE_H */

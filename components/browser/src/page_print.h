/*
 * A web page as a PDF, and a PDF on the default printer: headless
 * Chromium loads the page and prints it to PDF in a folder of its own
 * (its own profile each run); the PDF engine's drawing puts the pages on
 * the printer, fitted to its paper.
 */
#ifndef BROWSER_PAGE_PRINT_H
#define BROWSER_PAGE_PRINT_H

#include <atomic>
#include <string>

namespace browser {

/* http:// or https:// followed by a host: the only pages we load. */
bool IsWebUrl(const std::string &url);

/* Loads the page and prints it to PDF, for at most `seconds` and until
 * `*stop` turns true; Chromium and what it started are killed then.  True
 * with the PDF in *pdf. */
bool RenderPage(const std::string &url, int seconds, const std::atomic<bool> &stop,
                std::string *pdf);

/* Prints the PDF on the default printer as document `title`; the pages
 * printed, 0 when there is no default printer or it refused them. */
int PrintOnDefaultPrinter(const std::string &pdf, const std::string &title);

} // namespace browser

#endif

/*
 * A fresh root for a component test: the component installed where the
 * client loads it from (by DLL name, as scripts/install.sh does), a PDF
 * file printer to print on, and the tools that read PDFs back.
 */
#ifndef COMPONENTS_TESTSUPPORT_COMPONENT_FIXTURE_H
#define COMPONENTS_TESTSUPPORT_COMPONENT_FIXTURE_H

#include "pdf_samples.h"

#include <posix_files.h>
#include <scratch_root.h>
#include <winport_test.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

class ComponentTest : public ::testing::Test {
protected:
    ComponentTest() { setenv("CUPS_SERVER", "/nonexistent/component-test-cups.sock", 1); }

    /* Installs dll into windowsFolder and loads it from there. */
    HMODULE Install(const char *dll, const char *windowsFolder)
    {
        EXPECT_TRUE(winport_test_install_module(dll, windowsFolder)) << dll;
        std::string path = std::string(windowsFolder) + "\\" + dll;
        HMODULE module = LoadLibraryA(path.c_str());
        EXPECT_NE(module, nullptr) << path;
        return module;
    }

    /* The export `name` of `module` with the signature of its declaration. */
    template <class Fn> static Fn Bind(HMODULE module, const char *name)
    {
        auto fn =
            reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    /* A printer writing each document to C:\out\<file>, at `dpi`, on US
     * Letter with no unprintable margins unless given. */
    void AddFilePrinter(const std::string &name, const std::string &file, int dpi = 600,
                        const std::string &margins = "0,0,0,0");

    /* A DC of that printer with a document started. */
    HDC StartDocument(const std::string &printer, const char *docName = "Test");

    /* POSIX path of C:\out\<file>. */
    std::string Out(const std::string &file) const { return root.driveC("out/" + file); }

    /* Puts bytes at C:\in\<file> and returns the Windows path. */
    std::string PutInput(const std::string &file, const std::string &bytes);

    ScratchRoot root;
};

/* Poppler's and qpdf's command-line tools on a POSIX path. */
std::string PdfToTextBbox(const std::string &path);
std::string PdfToText(const std::string &path);
int PdfPages(const std::string &path);
std::string QpdfCheck(const std::string &path); /* "" when qpdf finds nothing wrong */
std::string PdfImages(const std::string &path);

/* The box pdftotext -bbox gives the first word `word`: xMin, yMin, xMax,
 * yMax in points from the top-left corner; false when there is none. */
bool WordBox(const std::string &bbox, const std::string &word, double box[4]);

#endif

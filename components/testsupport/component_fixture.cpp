/*
 * The component test fixture (see component_fixture.h).
 */
#include "component_fixture.h"

#include <cstdio>
#include <filesystem>
#include <regex>
#include <registry_printer.h>

void ComponentTest::AddFilePrinter(const std::string &name, const std::string &file, int dpi,
                                   const std::string &margins)
{
    ASSERT_TRUE(AddRegistryPrinter(name,
                                   {{"Port", "FILE:C:\\out\\" + file},
                                    {"Papers", "1:2159x2794:Letter;5:2159x3556:Legal"},
                                    {"Bins", "1:Upper Tray;4:Manual Feed"},
                                    {"Margins", margins}},
                                   {{"Resolution", DWORD(dpi)}}));
    std::filesystem::create_directories(root.driveC("out"));
}

HDC ComponentTest::StartDocument(const std::string &printer, const char *docName)
{
    HDC dc = CreateDCA(nullptr, printer.c_str(), nullptr, nullptr);
    EXPECT_NE(dc, nullptr);
    DOCINFOA info = {sizeof(DOCINFOA), docName, nullptr, nullptr, 0};
    EXPECT_GT(StartDocA(dc, &info), 0);
    return dc;
}

std::string ComponentTest::PutInput(const std::string &file, const std::string &bytes)
{
    std::filesystem::create_directories(root.driveC("in"));
    samples::WriteFile(root.driveC("in/" + file), bytes);
    return "C:\\in\\" + file;
}

std::string PdfToTextBbox(const std::string &path)
{
    return RunCommand("pdftotext -bbox '" + path + "' - 2>&1");
}

std::string PdfToText(const std::string &path)
{
    return RunCommand("pdftotext -layout '" + path + "' - 2>&1");
}

int PdfPages(const std::string &path)
{
    std::string info = RunCommand("pdfinfo '" + path + "' 2>&1");
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages: +([0-9]+)")) ? std::stoi(m[1]) : -1;
}

std::string QpdfCheck(const std::string &path)
{
    std::string out = RunCommand("qpdf --check '" + path + "' 2>&1; echo \"exit $?\"");
    return out.find("No syntax or stream encoding errors") != std::string::npos &&
                   out.find("exit 0") != std::string::npos
               ? ""
               : out;
}

std::string PdfImages(const std::string &path)
{
    return RunCommand("pdfimages -list '" + path + "' 2>&1");
}

bool WordBox(const std::string &bbox, const std::string &word, double box[4])
{
    std::regex re("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                  "yMax=\"([0-9.]+)\">" +
                  word + "</word>");
    std::smatch m;
    if (!std::regex_search(bbox, m, re))
        return false;
    for (int i = 0; i < 4; i++)
        box[i] = std::stod(m[i + 1]);
    return true;
}

/*
 * The office programs from a test root, with the real LibreOffice: a
 * .docx and an .xlsx made here by LibreOffice from text and CSV, printed
 * by the office library and by the "soffice.exe" program onto a PDF file
 * printer and read back; a PDF through PrintAcrobatDocument; and both
 * saying "not installed" when LibreOffice cannot be found.
 */
#include "component_fixture.h"

#include <kelword.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string Quoted(const std::string &s)
{
    return "'" + s + "'";
}

class OfficeTest : public ComponentTest {
protected:
    void SetUp() override
    {
        AddFilePrinter("Office Printer", "office.pdf", 300);
        module_ = Install("KelWord.dll", "C:\\Windows\\system32");
        work_ = root.path() + "/work";
        std::filesystem::create_directories(work_);
    }
    /* LibreOffice turns the text into a file of that format, placed at
     * C:\in\<name>; the Windows path. */
    std::string Make(const std::string &source, const std::string &text, const std::string &format,
                     const std::string &name)
    {
        WriteText(work_ + "/" + source, text);
        int status = 0;
        const std::string out = RunCommand(
            "cd " + Quoted(work_) + " && soffice --headless --norestore " +
                "-env:UserInstallation=file://" + work_ + "/profile --convert-to " + format +
                " --outdir " + Quoted(work_ + "/made") + " " + Quoted(source) + " 2>&1",
            &status);
        EXPECT_EQ(status, 0) << out;
        const std::string stem = source.substr(0, source.rfind('.'));
        const std::string made = ReadText(work_ + "/made/" + stem + "." + format.substr(0, 4));
        EXPECT_FALSE(made.empty()) << out;
        return PutInput(name, made);
    }
    int Print(const char *function, const std::string &path, char *message)
    {
        auto print = Bind<decltype(&PrintWordDocument)>(module_, function);
        return print("Office Printer", path.c_str(), "-1", "-1", message);
    }
    HMODULE module_ = nullptr;
    std::string work_;
};

} // namespace

/* One test for both files keeps LibreOffice's starts to four: it is slow
 * to start on a loaded machine. */
TEST_F(OfficeTest, WordAndExcelFilesPrintWithTheirText)
{
    char message[KELWORD_MESSAGE_SIZE] = "";
    ASSERT_EQ(Bind<decltype(&WordInstalled)>(module_, "WordInstalled")(message), 1) << message;
    const std::string docx =
        Make("letter.txt", "Dear Dr Lee,\nthe referral letter for Jane Sample.\n", "docx",
             "letter.docx");
    const std::string xlsx =
        Make("fees.csv", "Code,Fee\nOV-99213,125.00\nLAB-80053,42.50\n",
             "xlsx:\"Calc MS Excel 2007 XML\" --infilter=CSV:44,34,76,1", "fees.xlsx");

    /* The Word file through the program App Paths names. */
    int status = 0;
    const std::string out =
        RunCommand("WINPORT_ROOT=" + Quoted(root.path()) + " " SOFFICE_EXE +
                       " -norestore -nofirststartwizard -nologo -headless -pt 'Office Printer' " +
                       Quoted(docx) + " 2>&1",
                   &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(PdfToText(Out("office.pdf")).find("referral letter for Jane Sample"),
              std::string::npos);

    /* The Excel file through the office library. */
    ASSERT_EQ(Print("PrintExcelDocument", xlsx, message), 1) << message;
    const std::string text = PdfToText(Out("office.pdf"));
    EXPECT_NE(text.find("OV-99213"), std::string::npos) << text;
    EXPECT_NE(text.find("42.5"), std::string::npos) << text;

    EXPECT_EQ(Print("PrintWordDocument", "C:\\in\\missing.docx", message), 0);
    EXPECT_NE(std::string(message), "");
    RunCommand("WINPORT_ROOT=" + Quoted(root.path()) + " " SOFFICE_EXE + " -headless 2>&1",
               &status);
    EXPECT_NE(status, 0);
}

TEST_F(OfficeTest, PdfsPassThroughAsTheyAre)
{
    const std::string pdf = PutInput("report.pdf", samples::NumberedPdf(2, "Lab report"));
    char message[KELWORD_MESSAGE_SIZE] = "";
    ASSERT_EQ(Print("PrintAcrobatDocument", pdf, message), 1) << message;
    EXPECT_EQ(PdfPages(Out("office.pdf")), 2);
    EXPECT_NE(PdfToText(Out("office.pdf")).find("Lab report"), std::string::npos);
}

TEST_F(OfficeTest, WithoutLibreOfficeBothSayNotInstalled)
{
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    char message[KELWORD_MESSAGE_SIZE] = "";
    EXPECT_EQ(Bind<decltype(&WordInstalled)>(module_, "WordInstalled")(message), 0);
    EXPECT_NE(std::string(message).find("not installed"), std::string::npos) << message;
    EXPECT_EQ(Bind<decltype(&ExcelInstalled)>(module_, "ExcelInstalled")(message), 0);
    EXPECT_NE(std::string(message).find("not installed"), std::string::npos) << message;
    const std::string pdf = PutInput("x.docx", "not really");
    EXPECT_EQ(Print("PrintWordDocument", pdf, message), 0);
    setenv("PATH", path.c_str(), 1);
}

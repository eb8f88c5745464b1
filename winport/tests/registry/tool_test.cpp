/*
 * winport-reg, run as a program against the test's root: export and import
 * round trips, .reg files from operators and from Windows, query, delete,
 * and its exit codes.
 */
#include "reg_test_util.h"

namespace {

class RegTool : public RegistryTest {
protected:
    Run Tool(const std::vector<std::string> &args, const std::string &input = "")
    {
        return RunProgram(WINPORT_REG, args, input);
    }

    /* Every key and value below `path`, as text, read through the API. */
    std::string Dump(HKEY root, const std::string &path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<missing>";
        std::string out = "[" + path + "]\n";
        char name[512];
        BYTE data[4096];
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize))
                break;
            out += std::string(name, nameSize) + "/" + std::to_string(type) + "/" +
                   std::string(reinterpret_cast<char *>(data), dataSize) + "\n";
        }
        std::vector<std::string> children;
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr))
                break;
            children.emplace_back(name, size);
        }
        RegCloseKey(key);
        for (const std::string &child : children)
            out += Dump(root, path + "\\" + child);
        return out;
    }

    void MakePrinter()
    {
        HKEY printer = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc\\Printers\\Label \"Z\"");
        auto set = [&](const char *name, DWORD type, const std::string &data) {
            ASSERT_EQ(RegSetValueExA(printer, name, 0, type,
                                     reinterpret_cast<const BYTE *>(data.data()),
                                     static_cast<DWORD>(data.size())),
                      ERROR_SUCCESS);
        };
        set(nullptr, REG_SZ, std::string("default\0", 8));
        set("Port", REG_SZ, std::string("C:\\out\\\"x\"\0", 11));
        set("Copies", REG_DWORD, std::string("\x0a\0\0\0", 4));
        set("DevMode", REG_BINARY, std::string(300, '\xa5'));
        set("Bins", REG_MULTI_SZ, std::string("Upper\0Lower\0\0", 13));
        set("Path", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
        set("Big", REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8));
        set("Lines", REG_SZ, std::string("a\r\nb\0", 5));
        set("Raw", REG_SZ, "no terminator");
        set("B\xfcro", REG_SZ, std::string("\xe4\xf6\xfc\0", 4));
        RegCloseKey(printer);
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc\\Printers\\Empty"));
    }
};

TEST_F(RegTool, ExportThenImportRestoresEveryByte)
{
    MakePrinter();
    const std::string before = Dump(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc");
    const std::string file = root_.path() + "/novarc.reg";
    Run exported = Tool({"export", "HKLM\\SOFTWARE\\Novarc", file});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    ASSERT_EQ(Tool({"delete", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc"}).exitCode, 0);
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc"), "<missing>");
    Run imported = Tool({"import", file});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc"), before);
}

TEST_F(RegTool, ExportWritesRegedit4Text)
{
    MakePrinter();
    Run run = Tool({"export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string &text = run.out;
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers]\n", 0), 0u);
    for (const char *line :
         {"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers\\Label \"Z\"]\n", "\n@=\"default\"\n",
          "\n\"Port\"=\"C:\\\\out\\\\\\\"x\\\"\"\n", "\n\"Copies\"=dword:0000000a\n",
          "\n\"Bins\"=hex(7):55,70,70,65,72,00,4c,6f,77,65,72,00,00\n",
          "\n\"Path\"=hex(2):25,54,45,4d,50,25,5c,78,00\n", "\n\"Raw\"=hex(1):6e,6f,20,"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
    EXPECT_NE(text.find(",\\\n  a5,"), std::string::npos) << "long hex lists are wrapped";
}

TEST_F(RegTool, ImportAddsAPrinterAsAnOperatorWritesIt)
{
    const std::string reg = "REGEDIT4\r\n"
                            "; the label printer\r\n"
                            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\"
                            "Printers\\Label]\r\n"
                            "\"Port\"=\"FILE:\"\r\n"
                            "\"Resolution\"=dword:00000258\r\n"
                            "\"Bins\"=hex(7):55,70,70,65,72,00,\\\r\n"
                            "  00\r\n";
    Run run = Tool({"import", "-"}, reg);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\Label", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Port"), std::string("FILE:\0", 6));
    EXPECT_EQ(Query(key, "Resolution"), std::string("\x58\x02\0\0", 4));
    EXPECT_EQ(Query(key, "Bins"), std::string("Upper\0\0", 7));
    RegCloseKey(key);
}

TEST_F(RegTool, ImportOfAWindowsUnicodeExportConvertsTo1252)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\Software\\B\u00fcro]\r\n"
                                u"\"Name\"=\"\u00c4rzte \u20ac\"\r\n"
                                u"\"Path\"=hex(2):25,00,54,00,00,00\r\n";
    std::string bytes = "\xff\xfe";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    Run run = Tool({"import", "-"}, bytes);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\B\xfcro", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Name"), std::string("\xc4rzte \x80\0", 8));
    EXPECT_EQ(Query(key, "Path"), std::string("%T\0", 3));
    RegCloseKey(key);
}

TEST_F(RegTool, ImportWithAMistakeChangesNothing)
{
    const std::string reg = "REGEDIT4\n"
                            "[HKEY_CURRENT_USER\\Software\\First]\n"
                            "\"Ok\"=dword:00000001\n"
                            "\"Path\"=\"C:\\temp\"\n";
    Run run = Tool({"import", "-"}, reg);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("line 4: unknown escape"), std::string::npos) << run.err;
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, "Software\\First"), "<missing>");
    EXPECT_EQ(Tool({"import", "-"}, "[HKEY_CURRENT_USER\\x]\n").exitCode, 3) << "no header line";
    EXPECT_EQ(Tool({"import", root_.path() + "/none.reg"}).exitCode, 3);
}

TEST_F(RegTool, ImportDeletesKeysAndValues)
{
    MakePrinter();
    const std::string reg = "REGEDIT4\n\n"
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers\\Empty]\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers\\Label \"Z\"]\n"
                            "\"Port\"=-\n"
                            "\"NeverThere\"=-\n"
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\NeverThere]\n";
    Run run = Tool({"import", "-"}, reg);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc\\Printers\\Empty"), "<missing>");
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc\\Printers\\Label \"Z\"");
    EXPECT_EQ(Query(key, "Port"), "<error 2>");
    EXPECT_EQ(Query(key, "Copies"), std::string("\x0a\0\0\0", 4));
    RegCloseKey(key);
}

TEST_F(RegTool, ImportThatTheRegistryRefusesFails)
{
    Run run = Tool({"import", "-"}, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Novarc]\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("access denied"), std::string::npos) << run.err;
}

TEST_F(RegTool, QueryListsValuesAndSubkeys)
{
    MakePrinter();
    Run run = Tool({"query", "hklm\\software\\novarc\\printers\\label \"z\""});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("    Copies    REG_DWORD    0xa\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    Bins    REG_MULTI_SZ    Upper\\0Lower\n"), std::string::npos);
    EXPECT_NE(run.out.find("    (Default)    REG_SZ    default\n"), std::string::npos);
    run = Tool({"query", "HKLM\\SOFTWARE\\Novarc\\Printers", ""});
    EXPECT_EQ(run.exitCode, 1) << "no default value there";
    run = Tool({"query", "HKLM\\SOFTWARE\\Novarc\\Printers\\Label \"Z\"", "COPIES"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("COPIES    REG_DWORD    0xa"), std::string::npos) << run.out;
    run = Tool({"query", "HKLM\\SOFTWARE\\Novarc\\Printers"});
    EXPECT_NE(run.out.find("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Novarc\\Printers\\Empty\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Tool({"query", "HKLM\\SOFTWARE\\Missing"}).exitCode, 1);
}

TEST_F(RegTool, DeleteRemovesAValueOrAWholeTree)
{
    MakePrinter();
    EXPECT_EQ(Tool({"delete", "HKLM\\SOFTWARE\\Novarc\\Printers\\Label \"Z\"", "Copies"}).exitCode,
              0);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc\\Printers\\Label \"Z\"");
    EXPECT_EQ(Query(key, "Copies"), "<error 2>");
    RegCloseKey(key);
    EXPECT_EQ(Tool({"delete", "HKLM\\SOFTWARE\\Novarc"}).exitCode, 0);
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, "SOFTWARE\\Novarc"), "<missing>");
    EXPECT_EQ(Tool({"delete", "HKLM\\SOFTWARE\\Novarc"}).exitCode, 1);
    EXPECT_EQ(Tool({"delete", "HKLM"}).exitCode, 1);
    EXPECT_EQ(Tool({"delete", "HKLM\\SOFTWARE"}).exitCode, 1) << "SOFTWARE is permanent";
}

TEST_F(RegTool, BadCommandLinesExitWithTwo)
{
    EXPECT_EQ(Tool({}).exitCode, 2);
    EXPECT_EQ(Tool({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(Tool({"export"}).exitCode, 2);
    Run run = Tool({"query", "HKEY_NOWHERE\\x"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("not a key name"), std::string::npos);
    EXPECT_EQ(Tool({"--help"}).exitCode, 0);
}

} // namespace

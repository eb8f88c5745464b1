/*
 * The systemd unit a service gets: what it runs and with which
 * environment, and that nothing in a name, display name or image path can
 * add lines or settings to it.  The machine's systemd is never touched:
 * these tests look at the text only.
 */
#include "service_test_util.h"

#include <string>
#include <vector>

namespace winport::service { // the unit's text and name, as the manager writes them
std::string UnitText(const std::string &serviceName, const std::string &displayName,
                     const std::string &imagePath);
std::string UnitName(const std::string &serviceName);
} // namespace winport::service

namespace {

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace

TEST_F(ServiceTest, UnitRunsTheMappedProgramWithRootAndServiceName)
{
    const std::string unit = winport::service::UnitText(
        "NovarcPrintkeeper", "Novarc Print Keeper", "\"c:\\bin\\wptestsvc.exe\" -x \"two words\"");
    const std::string program = root_.driveC("bin/wptestsvc.exe");
    const std::vector<std::string> expected = {
        "[Unit]",
        "Description=Novarc Print Keeper",
        "",
        "[Service]",
        "Type=simple",
        "ExecStart=\"" + program + "\" \"-x\" \"two words\"",
        "Environment=\"WINPORT_ROOT=" + root_.path() + "\"",
        "Environment=\"WINPORT_SERVICE_NAME=NovarcPrintkeeper\"",
        "KillSignal=SIGTERM",
        "TimeoutStopSec=30",
        "",
        "[Install]",
        "WantedBy=multi-user.target",
    };
    EXPECT_EQ(Lines(unit), expected) << unit;
    EXPECT_EQ(winport::service::UnitName("Novarc Print-Keeper.1"),
              "Novarc\\x20Print\\x2dKeeper.1.service");
    EXPECT_EQ(winport::service::UnitName(".hidden"), "\\x2ehidden.service");
}

TEST_F(ServiceTest, UnitTextCannotBeExtendedThroughItsValues)
{
    const std::string unit = winport::service::UnitText(
        "Svc\nExecStartPre=/bin/evil", "Shown\n[Service]\nExecStartPre=/bin/evil %h",
        "c:\\bin\\wptestsvc.exe \"a\nExecStopPost=/bin/evil\" $HOME %i ;");
    for (const std::string &line : Lines(unit)) {
        EXPECT_EQ(line.rfind("ExecStartPre", 0), std::string::npos) << unit;
        EXPECT_EQ(line.rfind("ExecStopPost", 0), std::string::npos) << unit;
    }
    EXPECT_EQ(Lines(unit).size(), 13u) << unit;
    EXPECT_NE(unit.find("Description=Shown [Service] ExecStartPre=/bin/evil %%h\n"),
              std::string::npos)
        << unit;
    EXPECT_NE(unit.find(" \"a\\x0aExecStopPost=/bin/evil\" \"$$HOME\" \"%%i\" \\;\n"),
              std::string::npos)
        << unit;
    EXPECT_NE(unit.find("WINPORT_SERVICE_NAME=Svc\\x0aExecStartPre=/bin/evil\"\n"),
              std::string::npos)
        << unit;
}

/*
 * The systemd unit a service gets: what it runs and with which
 * environment, and that nothing in a name, display name or image path can
 * add lines or settings to it.  The machine's systemd is never touched:
 * these tests look at the text only.
 */
#include "service_test_util.h"

#include <algorithm>
#include <string>
#include <vector>

// The unit's text and name, the account and the control rule, as the
// manager's private parts have them.
#include "../../src/service/service_private.h"

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
    const std::string unit =
        winport::service::UnitText("NovarcPrintkeeper", "Novarc Print Keeper",
                                   "\"c:\\bin\\wptestsvc.exe\" -x \"two words\"", {});
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
        "Restart=on-failure",
        "RestartSec=5",
        "RestartPreventExitStatus=78",
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
        "c:\\bin\\wptestsvc.exe \"a\nExecStopPost=/bin/evil\" $HOME %i ;", {});
    for (const std::string &line : Lines(unit)) {
        EXPECT_EQ(line.rfind("ExecStartPre", 0), std::string::npos) << unit;
        EXPECT_EQ(line.rfind("ExecStopPost", 0), std::string::npos) << unit;
    }
    EXPECT_EQ(Lines(unit).size(), 16u) << unit;
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

TEST_F(ServiceTest, AUnitWithAnAccountRunsAsThatUserHardened)
{
    winport::service::ServiceAccount account;
    ASSERT_TRUE(winport::service::ResolveAccount(".\\nobody", &account));
    EXPECT_EQ(account.user, "nobody");
    EXPECT_NE(account.uid, 0u);
    const std::string unit =
        winport::service::UnitText("NovarcPrintkeeper", "Novarc", "c:\\bin\\svc.exe", account);
    const std::vector<std::string> lines = Lines(unit);
    for (const std::string &expected : std::vector<std::string>{
             "User=nobody", "Group=" + account.group, "UMask=0027", "NoNewPrivileges=yes",
             "ProtectSystem=strict", "ReadWritePaths=\"" + root_.path() + "\"", "ProtectHome=yes",
             "PrivateTmp=yes", "CapabilityBoundingSet=", "AmbientCapabilities=",
             "Restart=on-failure", "RestartPreventExitStatus=78"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected << "\n"
                                                                                << unit;
    // LocalSystem keeps root's unit: no user, no hardening that would stop
    // an installer from doing its work.
    const std::string system =
        winport::service::UnitText("Helper", "Helper", "c:\\bin\\svc.exe", {});
    EXPECT_EQ(system.find("User="), std::string::npos) << system;
    EXPECT_EQ(system.find("CapabilityBoundingSet"), std::string::npos) << system;
}

TEST_F(ServiceTest, ServiceAccountsAreLocalSystemOrAnExistingUserOtherThanRoot)
{
    winport::service::ServiceAccount account;
    for (const char *system : {"LocalSystem", "NT AUTHORITY\\SYSTEM", ".\\localsystem"}) {
        EXPECT_TRUE(winport::service::ResolveAccount(system, &account)) << system;
        EXPECT_EQ(account.user, "") << system;
    }
    EXPECT_TRUE(winport::service::ResolveAccount(nullptr, &account));
    for (const char *bad :
         {".\\root", "root", "no-such-user-here", "DOMAIN\\nobody", ".\\no body", "-nobody", ""})
        EXPECT_FALSE(winport::service::ResolveAccount(bad, &account)) << bad;
    EXPECT_TRUE(winport::service::ResolveAccount("nobody", &account));
    EXPECT_EQ(winport::service::AccountObjectName(account), ".\\nobody");
}

TEST_F(ServiceTest, ControlsComeFromRootTheServiceUserOrTheRootsGroup)
{
    using winport::service::MayControl;
    const uid_t service = 990, peer = 1000;
    const gid_t rootGroup = 990;
    EXPECT_TRUE(MayControl(0, false, service, rootGroup));
    EXPECT_TRUE(MayControl(service, false, service, rootGroup));
    EXPECT_TRUE(MayControl(peer, true, service, rootGroup));
    EXPECT_FALSE(MayControl(peer, false, service, rootGroup));
    // A root owned by root's group names no operators.
    EXPECT_FALSE(MayControl(peer, true, service, 0));
}

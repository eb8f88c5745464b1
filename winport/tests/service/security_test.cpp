/*
 * SIDs, access lists and file security on POSIX owners and permissions.
 */
#include "scratch_root.h"

#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cstring>
#include <fstream>

namespace {

struct Sids {
    PSID system = nullptr, admins = nullptr, everyone = nullptr;
    Sids()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &admins);
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    }
    ~Sids()
    {
        FreeSid(system);
        FreeSid(admins);
        FreeSid(everyone);
    }
};

EXPLICIT_ACCESS_A Grant(PSID sid, DWORD rights, ACCESS_MODE mode = SET_ACCESS,
                        DWORD inherit = SUB_CONTAINERS_AND_OBJECTS_INHERIT)
{
    EXPLICIT_ACCESS_A e{};
    e.grfAccessPermissions = rights;
    e.grfAccessMode = mode;
    e.grfInheritance = inherit;
    e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    e.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    e.Trustee.ptstrName = static_cast<LPSTR>(sid);
    return e;
}

mode_t Mode(const std::string &path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(Sid, WellKnownSidsHaveWindowsLayout)
{
    Sids sids;
    ASSERT_NE(sids.system, nullptr);
    EXPECT_EQ(GetLengthSid(sids.system), 12u);
    const BYTE expected[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_EQ(std::memcmp(sids.system, expected, sizeof expected), 0);
    EXPECT_TRUE(EqualSid(sids.system, sids.system));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EqualSid(sids.system, sids.admins));
    EXPECT_EQ(GetLastError(), 0u);
    BYTE bad[12] = {9, 1};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EqualSid(sids.system, bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
    PSID none = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &none));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Acl, SetEntriesInAclPutsDenialsFirstAndReplacesOnSet)
{
    Sids sids;
    EXPLICIT_ACCESS_A first[] = {Grant(sids.everyone, GENERIC_READ),
                                 Grant(sids.admins, GENERIC_ALL, DENY_ACCESS)};
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclA(2, first, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(acl->AceCount, 2);
    auto *ace = reinterpret_cast<ACE_HEADER *>(acl + 1);
    EXPECT_EQ(ace->AceType, ACCESS_DENIED_ACE_TYPE);
    EXPECT_EQ(ace->AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    // SET_ACCESS for Everyone replaces its grant; the denial stays.
    EXPLICIT_ACCESS_A second[] = {Grant(sids.everyone, GENERIC_WRITE)};
    PACL merged = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, second, acl, &merged), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(merged->AceCount, 2);
    auto *allowed = reinterpret_cast<ACCESS_ALLOWED_ACE *>(
        reinterpret_cast<BYTE *>(merged + 1) + reinterpret_cast<ACE_HEADER *>(merged + 1)->AceSize);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(GENERIC_WRITE));
    LocalFree(merged);
    // A damaged old ACL (an entry running past its end) is refused.
    acl->AclSize = sizeof(ACL) + 4;
    PACL refused = nullptr;
    EXPECT_EQ(SetEntriesInAclA(1, second, acl, &refused), static_cast<DWORD>(ERROR_INVALID_ACL));
    LocalFree(acl);
}

class FileSecurityTest : public ::testing::Test {
protected:
    FileSecurityTest()
    {
        namespace fs = std::filesystem;
        fs::create_directories(root_.driveC("app/sub"));
        std::ofstream(root_.driveC("app/prog.exe")) << "x";
        std::ofstream(root_.driveC("app/sub/data.txt")) << "x";
        std::ofstream(root_.driveC("outside.txt")) << "x";
        for (const char *p : {"app", "app/sub", "app/prog.exe", "app/sub/data.txt", "outside.txt"})
            chmod(root_.driveC(p).c_str(), 0777);
        fs::create_symlink(root_.driveC("outside.txt"), root_.driveC("app/link.txt"));
    }
    DWORD SetDacl(const char *path, std::initializer_list<EXPLICIT_ACCESS_A> entries)
    {
        std::vector<EXPLICIT_ACCESS_A> list(entries);
        PACL acl = nullptr;
        DWORD rc = SetEntriesInAclA(static_cast<ULONG>(list.size()), list.data(), nullptr, &acl);
        if (rc == ERROR_SUCCESS)
            rc = SetNamedSecurityInfoA(const_cast<LPSTR>(path), SE_FILE_OBJECT,
                                       DACL_SECURITY_INFORMATION |
                                           PROTECTED_DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, acl, nullptr);
        LocalFree(acl);
        return rc;
    }
    ScratchRoot root_;
    Sids sids_;
};

TEST_F(FileSecurityTest, AdminOnlyDaclRemovesOthersWriteThroughoutAndKeepsReadExecute)
{
    ASSERT_EQ(
        SetDacl("c:\\App", {Grant(sids_.system, GENERIC_ALL), Grant(sids_.admins, GENERIC_ALL),
                            Grant(sids_.everyone, GENERIC_READ | GENERIC_EXECUTE, GRANT_ACCESS)}),
        static_cast<DWORD>(ERROR_SUCCESS));
    for (const char *p : {"app", "app/sub", "app/prog.exe", "app/sub/data.txt"})
        EXPECT_EQ(Mode(root_.driveC(p)), 0755u) << p;
    // The link inside was neither followed nor changed.
    EXPECT_EQ(Mode(root_.driveC("outside.txt")), 0777u);
}

TEST_F(FileSecurityTest, DaclLettingEveryoneWriteKeepsTheBits)
{
    ASSERT_EQ(SetDacl("c:\\app", {Grant(sids_.system, GENERIC_ALL),
                                  Grant(sids_.everyone, GENERIC_WRITE, GRANT_ACCESS)}),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Mode(root_.driveC("app")), 0777u);
    EXPECT_EQ(Mode(root_.driveC("app/sub/data.txt")), 0777u);
    // A DACL without inheritable entries changes the folder alone.
    ASSERT_EQ(SetDacl("c:\\app", {Grant(sids_.system, GENERIC_ALL, SET_ACCESS, NO_INHERITANCE)}),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Mode(root_.driveC("app")), 0755u);
    EXPECT_EQ(Mode(root_.driveC("app/prog.exe")), 0777u);
}

TEST_F(FileSecurityTest, OwnerOfSystemMeansRoot)
{
    if (geteuid() != 0) {
        // Only root can give files away; Windows refuses such an owner too.
        EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION, sids_.system, nullptr, nullptr,
                                        nullptr),
                  static_cast<DWORD>(ERROR_INVALID_OWNER));
        GTEST_SKIP() << "chown to root needs root";
    }
    ASSERT_EQ(chown(root_.driveC("app").c_str(), 65534, 65534), 0);
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                    sids_.system, sids_.admins, nullptr, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    struct stat st {};
    ASSERT_EQ(stat(root_.driveC("app").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 0u);
    // Everyone cannot be an owner here.
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION, sids_.everyone, nullptr, nullptr,
                                    nullptr),
              static_cast<DWORD>(ERROR_INVALID_OWNER));
}

TEST_F(FileSecurityTest, ErrorsAreReturnedAndNothingChanges)
{
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\nothere"), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_REGISTRY_KEY,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    ACL broken{ACL_REVISION, 0, sizeof(ACL), 3, 0}; // claims entries it does not hold
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, &broken, nullptr),
              static_cast<DWORD>(ERROR_INVALID_ACL));
    // A NULL DACL lets everyone in: nothing changes.
    EXPECT_EQ(SetNamedSecurityInfoA(const_cast<LPSTR>("c:\\app"), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Mode(root_.driveC("app")), 0777u);
}

TEST_F(FileSecurityTest, CreateDirectoryHonoursTheDescriptor)
{
    PACL acl = nullptr;
    EXPLICIT_ACCESS_A entries[] = {Grant(sids_.system, GENERIC_ALL)};
    ASSERT_EQ(SetEntriesInAclA(1, entries, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    const mode_t old = umask(0);
    EXPECT_TRUE(CreateDirectoryA("c:\\secured", &sa));
    EXPECT_TRUE(CreateDirectoryA("c:\\open", nullptr));
    umask(old);
    EXPECT_EQ(Mode(root_.driveC("secured")), 0755u);
    EXPECT_EQ(Mode(root_.driveC("open")), 0777u);
    if (geteuid() != 0) {
        // An owner the caller may not assign: no folder.
        ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, sids_.system, FALSE));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CreateDirectoryA("c:\\owned", &sa));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_OWNER));
        EXPECT_FALSE(std::filesystem::exists(root_.driveC("owned")));
    }
    LocalFree(acl);
}

/*
 * Version records: the Windows version resource (VS_VERSIONINFO with its
 * VS_FIXEDFILEINFO, string table and translation) as bytes, and where our
 * build keeps it in a program or shared object.  Private to winport and to
 * the build tool that embeds the records (mkversionrecord.cpp); nothing here
 * touches the file system, so the tests and the fuzzer feed it from memory.
 *
 * A record is the resource exactly as a Windows image carries it: nodes of
 * { WORD wLength; WORD wValueLength; WORD wType; UTF-16 key with its NUL;
 * padding to 32 bits; value; padding; children }, little-endian.
 *
 * In an ELF image it is the descriptor of one note, owner "WinPort", type
 * 1, in the section ".note.winport.version".
 */
#ifndef WINPORT_VERSION_VERSION_RECORD_H
#define WINPORT_VERSION_VERSION_RECORD_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace winport::version {

inline constexpr const char *kNoteSection = ".note.winport.version";
inline constexpr const char *kNoteOwner = "WinPort";
inline constexpr uint32_t kNoteType = 1;
/* A record's length is a WORD. */
inline constexpr size_t kMaxRecord = 0xFFFF;

struct RecordSpec {
    uint16_t fileVersion[4] = {0, 0, 0, 0};                   // major, minor, build, revision
    uint16_t productVersion[4] = {0, 0, 0, 0};                // all 0: the file version
    uint32_t fileType = 1;                                    // VFT_APP 1, VFT_DLL 2
    uint16_t language = 0x0409;                               // U.S. English
    uint16_t codePage = 1200;                                 // Unicode
    std::vector<std::pair<std::string, std::string>> strings; // key, value (UTF-8)
};

/* The resource bytes for a spec; empty when they would exceed kMaxRecord. */
std::vector<uint8_t> BuildRecord(const RecordSpec &spec);

/* "237.859.0.0" (one to four numbers of 0 to 65535) into `out`. */
bool ParseVersion(const std::string &text, uint16_t out[4]);

/* A node of a record found by path. */
struct Found {
    size_t valueOffset = 0; // from the start of the record
    size_t valueLength = 0; // bytes
    bool text = false;      // wType 1: UTF-16 text
};

/* Follows a VerQueryValue path ("\", "\VarFileInfo\Translation",
 * "\StringFileInfo\040904b0\FileVersion"; names compared without regard to
 * ASCII case, repeated separators ignored) through the record of `size`
 * bytes.  False when a name is missing or the record is malformed; every
 * read stays inside the record. */
bool FindValue(const uint8_t *record, size_t size, const char *path, Found *found);

/* Reads `n` bytes at `offset` of an image into `out`; false past its end. */
using ReadAt = std::function<bool(uint64_t offset, size_t n, void *out)>;

/* The record of an ELF image of `size` bytes: the descriptor of the first
 * note of owner kNoteOwner and type kNoteType in a note section, copied to
 * `record`.  Returns 1 when found, 0 when the image has none, -1 when the
 * bytes are not a little-endian ELF image or its tables are malformed.
 * Reads only the header, the section table and note sections, each bounded
 * by the image. */
int FindRecordInElf(const ReadAt &read, uint64_t size, std::vector<uint8_t> *record);

} // namespace winport::version

#endif

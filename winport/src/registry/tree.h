/*
 * The in-memory form of one hive: a tree of keys holding values.  Private
 * to winport; a Hive (hive.h) owns one Tree and guards it.
 *
 * Keys keep their name as first spelled and are found by its folded form;
 * subkeys are ordered as Windows lists them (by folded name), values in the
 * order they were first set, as RegEnumValue returns them.  Every key has
 * an id, unique within its hive file and never reused, so a handle to a key
 * that was deleted (and perhaps created again under the same name) is
 * recognised as a handle to a deleted key.
 *
 * The machine hive has the layout Windows gives HKEY_LOCAL_MACHINE: its
 * top-level keys (SOFTWARE, SYSTEM, HARDWARE) always exist and cannot be
 * deleted, no other key can be created beside them, SOFTWARE\Classes
 * (HKEY_CLASSES_ROOT) always exists, and SYSTEM\CurrentControlSet is the
 * same key as SYSTEM\ControlSet001.  Not thread-safe.
 */
#ifndef WINPORT_REGISTRY_TREE_H
#define WINPORT_REGISTRY_TREE_H

#include "registry/names.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winport::reg {

enum class HiveKind { Machine, User };

struct Value {
    std::string name; // "" is the key's default value
    DWORD type = REG_NONE;
    std::string data; // raw bytes, exactly as set
};

class Key {
public:
    using Children = std::map<std::string, std::unique_ptr<Key>, FoldedLess>;

    Key(std::string name, uint64_t id, uint64_t lastWrite, Key *parent)
        : name_(std::move(name)), id_(id), lastWrite_(lastWrite), parent_(parent)
    {}

    const std::string &name() const { return name_; }
    uint64_t id() const { return id_; }
    Key *parent() const { return parent_; }
    uint64_t lastWrite() const { return lastWrite_; }
    void Touch(uint64_t now) { lastWrite_ = now; }

    const Children &children() const { return children_; }
    Key *Child(std::string_view name) const;
    /* The index-th subkey in enumeration order, or null. */
    const Key *ChildAt(size_t index) const;

    const std::vector<Value> &values() const { return values_; }
    const Value *FindValue(std::string_view name) const;
    /* Replaces the value's type and data in place, or appends a new one. */
    void SetValue(std::string_view name, DWORD type, std::string data);
    bool DeleteValue(std::string_view name);

private:
    friend class Tree;
    std::string name_;
    uint64_t id_;
    uint64_t lastWrite_;
    Key *parent_;
    Children children_;
    std::vector<Value> values_;
};

class Tree {
public:
    explicit Tree(uint64_t now = 0);
    Tree(Tree &&) = default;
    Tree &operator=(Tree &&) = default;

    Key &root() { return *root_; }
    const Key &root() const { return *root_; }
    /* The key with this id, or null when it no longer exists. */
    Key *Find(uint64_t id) const;

    /* A new subkey.  `id` 0 means "give it a fresh id"; a file being read
     * passes the id it records (kPendingId when it records none), and
     * AssignMissingIds settles those and any clash. */
    static constexpr uint64_t kPendingId = ~0ull;
    /* Ids a file may record; larger ones are treated as missing, so that a
     * damaged file cannot run the counter out. */
    static constexpr uint64_t kMaxRecordedId = 1ull << 48;
    Key &AddChild(Key &parent, std::string_view name, uint64_t now, uint64_t id = 0);
    /* Removes a key that has no subkeys (never the root). */
    void RemoveLeaf(Key &key);

    /* Gives every key read without a usable id a fresh one, in tree order so
     * that every process reading the same file agrees on them. */
    void AssignMissingIds();

    uint64_t generation = 0; // bumped by every write to the file
    uint64_t nextId = 2;     // the root is 1

private:
    void AssignIn(Key &key);
    std::unique_ptr<Key> root_;
    std::unordered_map<uint64_t, Key *> index_;
};

/* Following and creating paths under the hive's layout rules. */

/* The name `name` stands for below `parent` (the one alias, see above). */
std::string_view CanonicalName(const Key &parent, std::string_view name, HiveKind kind);

/* The key `parts` names below `from`, or null. */
const Key *Walk(const Key &from, const std::vector<std::string> &parts, HiveKind kind);

/* Walks `parts` below `from`, creating what is missing.  Fails with
 * ERROR_INVALID_PARAMETER for a name over 255 characters or a path deeper
 * than the registry allows, ERROR_ACCESS_DENIED for a new top-level key of
 * the machine hive. */
LSTATUS CreatePath(Tree &tree, Key &from, const std::vector<std::string> &parts, HiveKind kind,
                   uint64_t now, Key *&result, bool &created);

/* Whether the key may not be deleted: a hive's root, the machine hive's
 * top-level keys and SOFTWARE\Classes. */
bool IsProtected(const Key &key, HiveKind kind);

/* Creates the keys the layout requires and a file may lack. */
void EnsureLayout(Tree &tree, HiveKind kind, uint64_t now);

/* Number of levels below the root. */
size_t DepthOf(const Key &key);

} // namespace winport::reg

#endif

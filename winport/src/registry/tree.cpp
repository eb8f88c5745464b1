/*
 * The in-memory hive (see tree.h): keys, values, ids, and the layout rules
 * of the machine hive.
 */
#include "registry/tree.h"

#include <algorithm>
#include <unordered_set>

namespace winport::reg {
namespace {

constexpr std::string_view kMachineTopLevel[] = {"HARDWARE", "SOFTWARE", "SYSTEM"};

bool IsMachineTopLevel(std::string_view name)
{
    return std::any_of(std::begin(kMachineTopLevel), std::end(kMachineTopLevel),
                       [&](std::string_view top) { return SameName(top, name); });
}

} // namespace

/* SYSTEM\CurrentControlSet is Windows' link to the control set in use; the
 * spooler writes printers through the link and other programs read the
 * same keys as SYSTEM\ControlSet001, so both names reach one key. */
std::string_view CanonicalName(const Key &parent, std::string_view name, HiveKind kind)
{
    if (kind == HiveKind::Machine && parent.parent() && !parent.parent()->parent() &&
        SameName(parent.name(), "SYSTEM") && SameName(name, "CurrentControlSet"))
        return "ControlSet001";
    return name;
}

Key *Key::Child(std::string_view name) const
{
    auto it = children_.find(FoldName(name));
    return it == children_.end() ? nullptr : it->second.get();
}

const Key *Key::ChildAt(size_t index) const
{
    if (index >= children_.size())
        return nullptr;
    auto it = children_.begin();
    std::advance(it, static_cast<ptrdiff_t>(index));
    return it->second.get();
}

const Value *Key::FindValue(std::string_view name) const
{
    for (const Value &value : values_) {
        if (SameName(value.name, name))
            return &value;
    }
    return nullptr;
}

void Key::SetValue(std::string_view name, DWORD type, std::string data)
{
    for (Value &value : values_) {
        if (SameName(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    values_.push_back(Value{std::string(name), type, std::move(data)});
}

bool Key::DeleteValue(std::string_view name)
{
    auto it = std::find_if(values_.begin(), values_.end(),
                           [&](const Value &value) { return SameName(value.name, name); });
    if (it == values_.end())
        return false;
    values_.erase(it);
    return true;
}

Tree::Tree(uint64_t now) : root_(std::make_unique<Key>("", 1, now, nullptr))
{
    index_[1] = root_.get();
}

Key *Tree::Find(uint64_t id) const
{
    auto it = index_.find(id);
    return it == index_.end() ? nullptr : it->second;
}

Key &Tree::AddChild(Key &parent, std::string_view name, uint64_t now, uint64_t id)
{
    if (id == 0)
        id = nextId++;
    else if (id == kPendingId || index_.count(id))
        id = 0; // AssignMissingIds gives it one once every recorded id is known
    auto key = std::make_unique<Key>(std::string(name), id, now, &parent);
    Key &added = *key;
    parent.children_.emplace(FoldName(name), std::move(key));
    if (id != 0) {
        index_[id] = &added;
        nextId = std::max(nextId, id + 1);
    }
    return added;
}

void Tree::RemoveLeaf(Key &key)
{
    Key *parent = key.parent_;
    if (!parent || !key.children_.empty())
        return;
    index_.erase(key.id_);
    parent->children_.erase(FoldName(key.name_));
}

void Tree::AssignMissingIds()
{
    AssignIn(*root_);
}

void Tree::AssignIn(Key &key)
{
    if (key.id_ == 0) {
        key.id_ = nextId++;
        index_[key.id_] = &key;
    }
    for (auto &entry : key.children_)
        AssignIn(*entry.second);
}

size_t DepthOf(const Key &key)
{
    size_t depth = 0;
    for (const Key *k = key.parent(); k; k = k->parent())
        ++depth;
    return depth;
}

const Key *Walk(const Key &from, const std::vector<std::string> &parts, HiveKind kind)
{
    const Key *key = &from;
    for (const std::string &part : parts) {
        key = key->Child(CanonicalName(*key, part, kind));
        if (!key)
            return nullptr;
    }
    return key;
}

LSTATUS CreatePath(Tree &tree, Key &from, const std::vector<std::string> &parts, HiveKind kind,
                   uint64_t now, Key *&result, bool &created)
{
    created = false;
    for (const std::string &part : parts) {
        if (part.size() > kMaxKeyNameLen)
            return ERROR_INVALID_PARAMETER;
    }
    if (DepthOf(from) + parts.size() > kMaxDepth)
        return ERROR_INVALID_PARAMETER;
    Key *key = &from;
    for (const std::string &part : parts) {
        std::string_view name = CanonicalName(*key, part, kind);
        Key *next = key->Child(name);
        if (!next) {
            if (kind == HiveKind::Machine && !key->parent())
                return ERROR_ACCESS_DENIED; // HKLM holds only its fixed top-level keys
            next = &tree.AddChild(*key, name, now);
            key->Touch(now);
            created = true;
        }
        key = next;
    }
    result = key;
    return ERROR_SUCCESS;
}

bool IsProtected(const Key &key, HiveKind kind)
{
    const Key *parent = key.parent();
    if (!parent)
        return true;
    if (kind != HiveKind::Machine)
        return false;
    if (!parent->parent())
        return IsMachineTopLevel(key.name());
    return !parent->parent()->parent() && SameName(parent->name(), "SOFTWARE") &&
           SameName(key.name(), "Classes");
}

void EnsureLayout(Tree &tree, HiveKind kind, uint64_t now)
{
    if (kind != HiveKind::Machine)
        return;
    Key &root = tree.root();
    for (std::string_view top : kMachineTopLevel) {
        if (!root.Child(top))
            tree.AddChild(root, top, now);
    }
    Key *software = root.Child("SOFTWARE");
    if (!software->Child("Classes"))
        tree.AddChild(*software, "Classes", now);
}

} // namespace winport::reg

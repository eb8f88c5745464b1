/*
 * Reading annotation files (the format is in docs/annotations.md): JSON
 * through jsoncpp in strict mode, then every member checked against its
 * type and limits before anything is kept.  Any fault fails the whole
 * file, so what reaches drawing is always complete and in range (cairo
 * would otherwise fail the page on bad UTF-8 or non-finite numbers).
 */
#include "ann_model.h"

#include <json/json.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

namespace imaging::ann {
namespace {

/* The reason the file failed; thrown inside this file only. */
struct Bad {
    std::string what;
};

[[noreturn]] void Fail(const std::string &what)
{
    throw Bad{what};
}

const std::map<std::string, Kind> &Kinds()
{
    static const std::map<std::string, Kind> kinds = {
        {"line", Kind::Line},           {"arrow", Kind::Arrow},
        {"rectangle", Kind::Rectangle}, {"ellipse", Kind::Ellipse},
        {"freehand", Kind::Freehand},   {"highlighter", Kind::Highlighter},
        {"text", Kind::Text},           {"note", Kind::Note},
        {"stamp", Kind::Stamp}};
    return kinds;
}

double Number(const Json::Value &v, const char *what, double low, double high)
{
    if (!v.isNumeric())
        Fail(std::string(what) + " is not a number");
    const double d = v.asDouble();
    if (!std::isfinite(d) || d < low || d > high)
        Fail(std::string(what) + " is out of range");
    return d;
}

double Coordinate(const Json::Value &v, const char *what)
{
    return Number(v, what, -kMaxCoordinate, kMaxCoordinate);
}

COLORREF Colour(const Json::Value &v, const char *what)
{
    if (!v.isString())
        Fail(std::string(what) + " is not a colour");
    const std::string s = v.asString();
    if (s.size() != 7 || s[0] != '#' ||
        s.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
        Fail(std::string(what) + " is not #RRGGBB");
    const unsigned long rgb = std::stoul(s.substr(1), nullptr, 16);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

bool ValidUtf8(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2) || i + extra >= s.size())
            return false;
        unsigned long cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; k++) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc >> 6) != 2)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || cp == 0)
            return false;
        i += extra + 1;
    }
    return true;
}

std::string Text(const Json::Value &v, const char *what, std::size_t limit)
{
    if (!v.isString())
        Fail(std::string(what) + " is not text");
    std::string s = v.asString();
    if (s.size() > limit || !ValidUtf8(s))
        Fail(std::string(what) + " is too long or not UTF-8");
    return s;
}

void ReadPoints(const Json::Value &v, Object *o, std::size_t *budget)
{
    if (!v.isArray())
        Fail("points is not a list");
    for (const Json::Value &p : v) {
        if (!p.isArray() || p.size() != 2)
            Fail("a point is not [x, y]");
        if (*budget == 0)
            Fail("too many points");
        --*budget;
        o->points.push_back(Point{Coordinate(p[0], "x"), Coordinate(p[1], "y")});
    }
    const bool twoPoints = o->kind == Kind::Line || o->kind == Kind::Arrow;
    if (twoPoints ? o->points.size() != 2 : o->points.size() < 2)
        Fail("wrong number of points");
}

void ReadRect(const Json::Value &v, Object *o)
{
    if (!v.isArray() || v.size() != 4)
        Fail("rect is not [left, top, right, bottom]");
    double l = Coordinate(v[0], "left"), t = Coordinate(v[1], "top");
    double r = Coordinate(v[2], "right"), b = Coordinate(v[3], "bottom");
    o->left = std::min(l, r), o->right = std::max(l, r);
    o->top = std::min(t, b), o->bottom = std::max(t, b);
}

void ReadFont(const Json::Value &v, Font *font)
{
    if (!v.isObject())
        Fail("font is not an object");
    if (v.isMember("name"))
        font->name = Text(v["name"], "font name", 64);
    if (font->name.empty())
        Fail("font name is empty");
    if (v.isMember("size"))
        font->size = Number(v["size"], "font size", 1, kMaxFontSize);
    for (const char *flag : {"bold", "italic"})
        if (v.isMember(flag) && !v[flag].isBool())
            Fail(std::string(flag) + " is not true or false");
    font->bold = v.get("bold", false).asBool();
    font->italic = v.get("italic", false).asBool();
}

/* Defaults differ by kind: a highlighter is yellow, a stamp red and bold,
 * a note a pale yellow card. */
void KindDefaults(Object *o)
{
    if (o->kind == Kind::Highlighter)
        o->color = RGB(255, 255, 0);
    if (o->kind == Kind::Stamp) {
        o->color = RGB(200, 0, 0);
        o->lineWidth = 4;
        o->font.bold = true;
    }
    if (o->kind == Kind::Note) {
        o->filled = true;
        o->fill = RGB(255, 255, 160);
    }
}

std::unique_ptr<Object> ReadObject(const Json::Value &v, std::size_t *pointBudget)
{
    if (!v.isObject() || !v["type"].isString())
        Fail("an object has no type");
    auto kind = Kinds().find(v["type"].asString());
    if (kind == Kinds().end())
        Fail("unknown object type");
    auto o = std::make_unique<Object>();
    o->kind = kind->second;
    KindDefaults(o.get());
    const bool usesPoints =
        o->kind == Kind::Line || o->kind == Kind::Arrow || o->kind == Kind::Freehand;
    if (usesPoints)
        ReadPoints(v["points"], o.get(), pointBudget);
    else
        ReadRect(v["rect"], o.get());
    if (v.isMember("color"))
        o->color = Colour(v["color"], "color");
    if (v.isMember("fill") && !v["fill"].isNull()) {
        o->fill = Colour(v["fill"], "fill");
        o->filled = true;
    }
    if (v.isMember("lineWidth"))
        o->lineWidth = Number(v["lineWidth"], "lineWidth", 0, kMaxLineWidth);
    if (v.isMember("font"))
        ReadFont(v["font"], &o->font);
    const bool hasText = o->kind == Kind::Text || o->kind == Kind::Note || o->kind == Kind::Stamp;
    if (hasText)
        o->text = Text(v["text"], "text", kMaxText);
    return o;
}

std::unique_ptr<Container> ReadContainer(const Json::Value &root)
{
    if (!root.isObject() || root["format"] != "novarc-annotations")
        Fail("not an annotation file");
    if (!root["version"].isInt() || root["version"].asInt() != 1)
        Fail("unknown version");
    auto container = std::make_unique<Container>();
    if (root.isMember("image")) {
        const Json::Value &image = root["image"];
        if (!image.isObject())
            Fail("image is not an object");
        const double w = Number(image["width"], "image width", 1, kMaxCoordinate);
        const double h = Number(image["height"], "image height", 1, kMaxCoordinate);
        container->hasRect = true;
        container->right = w - 1, container->bottom = h - 1;
    }
    const Json::Value &objects = root["objects"];
    if (!objects.isArray() || objects.size() > kMaxObjects)
        Fail("objects is not a list of at most 10000");
    std::size_t pointBudget = kMaxPoints;
    for (const Json::Value &v : objects) {
        container->objects.push_back(ReadObject(v, &pointBudget));
        container->objects.back()->owner = container.get();
    }
    return container;
}

} // namespace

std::unique_ptr<Container> Parse(const char *data, std::size_t size, std::string *error)
{
    if (!data || size == 0 || size > kMaxFileBytes) {
        *error = "empty or too large";
        return nullptr;
    }
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 32;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if (!reader->parse(data, data + size, &root, &errors)) {
            *error = "not JSON: " + errors.substr(0, 200);
            return nullptr;
        }
        return ReadContainer(root);
    } catch (const Bad &bad) {
        *error = bad.what;
    } catch (const std::exception &e) { /* jsoncpp's own, e.g. its depth limit */
        *error = e.what();
    }
    return nullptr;
}

const char *KindName(Kind kind)
{
    for (const auto &[name, k] : Kinds())
        if (k == kind)
            return name.c_str();
    return "?";
}

} // namespace imaging::ann

/*
 * Inside the imaging library: annotations in memory.
 *
 * A file (docs/annotations.md) loads into a Container of Objects; both are
 * what HANNOBJECT handles point to.  Coordinates, line widths and font
 * sizes are image pixels; the container's rectangle says which image pixels
 * map onto the rectangle a caller draws into.
 */
#ifndef IMAGING_ANN_MODEL_H
#define IMAGING_ANN_MODEL_H

#include <imaging.h>

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace imaging::ann {

/* Limits of what a file may hold (a malformed or hostile file fails the
 * load instead of exhausting the process). */
constexpr std::size_t kMaxFileBytes = 8u * 1024 * 1024;
constexpr std::size_t kMaxObjects = 10000;
constexpr std::size_t kMaxPoints = 1000000; /* all freehand points together */
constexpr std::size_t kMaxText = 4096;      /* bytes of UTF-8 per object */
constexpr double kMaxCoordinate = 1e6;
constexpr double kMaxLineWidth = 1000;
constexpr double kMaxFontSize = 10000;

enum class Kind { Line, Arrow, Rectangle, Ellipse, Freehand, Highlighter, Text, Note, Stamp };

struct Point {
    double x = 0, y = 0;
};

struct Font {
    std::string name = "Arial";
    double size = 24; /* image pixels */
    bool bold = false;
    bool italic = false;
};

struct Handle {
    enum class Type { Container, Object } type;
    explicit Handle(Type t) : type(t) {}
    virtual ~Handle() = default;
};

struct Container;

struct Object : Handle {
    Object() : Handle(Type::Object) {}
    Kind kind = Kind::Line;
    std::vector<Point> points;                       /* line and arrow: 2; freehand: 2 or more */
    double left = 0, top = 0, right = 0, bottom = 0; /* the other kinds */
    COLORREF color = RGB(0, 0, 0);
    bool filled = false;
    COLORREF fill = RGB(255, 255, 255);
    double lineWidth = 1;
    std::string text; /* UTF-8 */
    Font font;
    Container *owner = nullptr;
};

struct Container : Handle {
    Container() : Handle(Type::Container) {}
    std::vector<std::unique_ptr<Object>> objects;
    bool hasRect = false;
    double left = 0, top = 0, right = 0, bottom = 0; /* image pixels, inclusive */
};

/* Parses a file's bytes.  Returns the container, or null with *error a
 * short reason (for tests and logs). */
std::unique_ptr<Container> Parse(const char *data, std::size_t size, std::string *error);

/* Draws every object.  `cr` is in device units; the container's rectangle
 * (or, without one, image pixels one to one) maps onto `dest`.  For each
 * object drawn, `note` (when given) hears its kind and device box. */
using DrawNote = void (*)(void *context, const char *what, const RECT &box);
void Draw(cairo_t *cr, const Container &container, const RECT &dest, DrawNote note, void *context);

const char *KindName(Kind kind);

/* Live handles: a handle not registered is refused, not trusted. */
void Register(Handle *handle);
void Unregister(Handle *handle);
bool IsLive(const Handle *handle);

} // namespace imaging::ann

#endif /* IMAGING_ANN_MODEL_H */

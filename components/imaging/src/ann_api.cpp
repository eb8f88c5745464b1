/*
 * The annotation functions of "ltannu.dll".  A loaded file is a container
 * handle; L_AnnEnumerate hands out its objects' handles.  Handles are
 * checked against the live ones, so a destroyed or made-up handle is
 * refused rather than followed.
 */
#include "ann_model.h"
#include "bitmap.h"
#include "files.h"
#include "surface.h"

#include <winport_gdi_ext.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_set>

namespace imaging::ann {
namespace {

struct LiveHandles {
    std::mutex lock;
    std::unordered_set<const Handle *> handles; // guarded by lock
};

/* A plain static: the module may be unloaded, and its registry with it. */
LiveHandles &Live()
{
    static LiveHandles live;
    return live;
}

Container *ContainerOf(HANNOBJECT h)
{
    auto *handle = reinterpret_cast<Handle *>(h);
    if (!handle || !IsLive(handle) || handle->type != Handle::Type::Container)
        return nullptr;
    return static_cast<Container *>(handle);
}

Object *ObjectOf(HANNOBJECT h)
{
    auto *handle = reinterpret_cast<Handle *>(h);
    if (!handle || !IsLive(handle) || handle->type != Handle::Type::Object)
        return nullptr;
    return static_cast<Object *>(handle);
}

HANNOBJECT HandleOf(Handle *h)
{
    return reinterpret_cast<HANNOBJECT>(h);
}

bool UsableRect(const RECT *r)
{
    return r && r->right > r->left && r->bottom > r->top;
}

void NoteOnDc(void *context, const char *what, const RECT &box)
{
    const std::string label = std::string("annotation ") + what;
    winport_gdi_note_drawing(static_cast<HDC>(context), label.c_str(), &box);
}

} // namespace

void Register(Handle *handle)
{
    std::lock_guard<std::mutex> guard(Live().lock);
    Live().handles.insert(handle);
}

void Unregister(Handle *handle)
{
    std::lock_guard<std::mutex> guard(Live().lock);
    Live().handles.erase(handle);
}

bool IsLive(const Handle *handle)
{
    std::lock_guard<std::mutex> guard(Live().lock);
    return Live().handles.count(handle) != 0;
}

} // namespace imaging::ann

using namespace imaging;
using namespace imaging::ann;

/* L_AnnLoad: reads an annotation file into a new container.  A file that
 * is missing, too large or not a valid annotation file fails with no
 * container made. */
extern "C" INT WINAPI L_AnnLoad(const char16_t *pszFile, HANNOBJECT *phContainer)
{
    if (!pszFile || !phContainer)
        return L_ERR_INVALID_PARAMETER;
    *phContainer = nullptr;
    std::vector<unsigned char> data;
    if (INT rc = ReadWholeFile(pszFile, &data); rc != L_SUCCESS)
        return rc;
    if (data.size() > ann::kMaxFileBytes)
        return L_ERR_TOO_LARGE;
    std::string why;
    std::unique_ptr<Container> container =
        Parse(reinterpret_cast<const char *>(data.data()), data.size(), &why);
    if (!container)
        return L_ERR_ANN_FORMAT;
    for (auto &o : container->objects)
        Register(o.get());
    Register(container.get());
    *phContainer = HandleOf(container.release());
    return L_SUCCESS;
}

/* L_AnnEnumerate: calls pfnCallback once per object of a container (or
 * once for an object handle), in file order, until it returns anything
 * but L_SUCCESS, which is then returned.  The callback may change or
 * destroy the objects it is given. */
extern "C" INT WINAPI L_AnnEnumerate(HANNOBJECT hContainer, pANNENUMCALLBACK pfnCallback,
                                     LPVOID pUserData, UINT)
{
    if (!pfnCallback)
        return L_ERR_INVALID_PARAMETER;
    std::vector<Object *> objects;
    if (Container *c = ContainerOf(hContainer)) {
        for (auto &o : c->objects)
            objects.push_back(o.get());
    } else if (Object *o = ObjectOf(hContainer)) {
        objects.push_back(o);
    } else {
        return L_ERR_INVALID_PARAMETER;
    }
    for (Object *o : objects) {
        if (!IsLive(o))
            continue; /* destroyed by an earlier callback */
        const INT rc = pfnCallback(HandleOf(o), pUserData);
        if (rc != L_SUCCESS)
            return rc;
    }
    return L_SUCCESS;
}

/* L_AnnGetLineWidth: an object's line width, in image pixels. */
extern "C" INT WINAPI L_AnnGetLineWidth(HANNOBJECT hObject, double *pdLineWidth)
{
    Object *o = ObjectOf(hObject);
    if (!o || !pdLineWidth)
        return L_ERR_INVALID_PARAMETER;
    *pdLineWidth = o->lineWidth;
    return L_SUCCESS;
}

/* L_AnnSetLineWidth: sets an object's line width (0 to 1000 image pixels),
 * or, for a container with L_ANN_RECURSE, every object's. */
extern "C" INT WINAPI L_AnnSetLineWidth(HANNOBJECT hObject, double dLineWidth, UINT uFlags)
{
    if (!std::isfinite(dLineWidth) || dLineWidth < 0 || dLineWidth > ann::kMaxLineWidth)
        return L_ERR_INVALID_PARAMETER;
    if (Object *o = ObjectOf(hObject)) {
        o->lineWidth = dLineWidth;
        return L_SUCCESS;
    }
    Container *c = ContainerOf(hObject);
    if (!c || !(uFlags & L_ANN_RECURSE))
        return L_ERR_INVALID_PARAMETER;
    for (auto &o : c->objects)
        o->lineWidth = dLineWidth;
    return L_SUCCESS;
}

/* L_AnnSetRect: the image pixels (right and bottom included) that map onto
 * the rectangle the container is printed or realised into. */
extern "C" INT WINAPI L_AnnSetRect(HANNOBJECT hContainer, const RECT *prcRect)
{
    Container *c = ContainerOf(hContainer);
    if (!c || !prcRect || prcRect->right < prcRect->left || prcRect->bottom < prcRect->top)
        return L_ERR_INVALID_PARAMETER;
    c->hasRect = true;
    c->left = prcRect->left, c->top = prcRect->top;
    c->right = prcRect->right, c->bottom = prcRect->bottom;
    return L_SUCCESS;
}

/* L_AnnPrint: draws the container's objects scaled into prcBounds of the
 * DC's open page; each object is noted in the DC's record. */
extern "C" INT WINAPI L_AnnPrint(HDC hDC, const RECT *prcBounds, HANNOBJECT hContainer)
{
    Container *c = ContainerOf(hContainer);
    if (!c || !UsableRect(prcBounds))
        return L_ERR_INVALID_PARAMETER;
    cairo_t *cr = winport_gdi_cairo(hDC);
    if (!cr)
        return L_ERR_CANNOT_DRAW;
    Draw(cr, *c, *prcBounds, NoteOnDc, hDC);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS ? L_SUCCESS : L_ERR_FAILURE;
}

/* L_AnnRealize: burns the container's objects into the bitmap's pixels,
 * scaled into prcBounds (null: the whole bitmap).  The bitmap becomes
 * 24-bit colour.  With bRedactOnly nothing is drawn: our files hold no
 * redactions. */
extern "C" INT WINAPI L_AnnRealize(pBITMAPHANDLE pBitmap, const RECT *prcBounds,
                                   HANNOBJECT hContainer, BOOL bRedactOnly)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    Container *c = ContainerOf(hContainer);
    if (!c || (prcBounds && !UsableRect(prcBounds)))
        return L_ERR_INVALID_PARAMETER;
    if (bRedactOnly)
        return L_SUCCESS;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    SurfacePtr surface = SurfaceFromPix(image->pix.get());
    if (!surface)
        return L_ERR_NO_MEMORY;
    const RECT whole{0, 0, ShownWidth(*image), ShownHeight(*image)};
    cairo_t *cr = cairo_create(surface.get());
    Draw(cr, *c, prcBounds ? *prcBounds : whole, nullptr, nullptr);
    cairo_destroy(cr);
    PixPtr drawn = PixFromSurface(surface.get());
    if (!drawn)
        return L_ERR_NO_MEMORY;
    pixCopyResolution(drawn.get(), image->pix.get());
    ReplacePix(*image, std::move(drawn), std::max(image->bpp, 24));
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_AnnDestroy: destroys a container with its objects, or one object
 * (taken out of its container). */
extern "C" INT WINAPI L_AnnDestroy(HANNOBJECT hObject, UINT)
{
    if (Container *c = ContainerOf(hObject)) {
        for (auto &o : c->objects)
            Unregister(o.get());
        Unregister(c);
        delete c;
        return L_SUCCESS;
    }
    Object *o = ObjectOf(hObject);
    if (!o)
        return L_ERR_INVALID_PARAMETER;
    Unregister(o);
    auto &list = o->owner->objects;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [o](const std::unique_ptr<Object> &p) { return p.get() == o; }),
               list.end());
    return L_SUCCESS;
}

/*
 * Building the image requests of novarc-send from files on the command
 * line.  Images go compressed (a zlib stream of the whole file, split into
 * pieces) unless the image mode says the bytes are not compressed (0x10);
 * annotations always go as a zlib stream; letterheads and signatures as
 * they are.
 */
#include "image_job.h"

#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "handoff.h"

namespace {

enum {
    kPrintImage = 11,
    kPrintEndImage = 12,
    kLetterhead = 13,
    kEndLetterhead = 14,
    kAnnotation = 18,
    kEndAnnotation = 19,
    kIsImageFileHere = 20,
    kPrintLocalImage = 21,
    kSignature = 25,
    kEndSignature = 26,
    kImageSettings = 31,
    kQueryFileSize = 92,
    kStoreCacheFile = 93,
    kHeadingFooting = 114,
};

bool ReadFile(const std::string &path, std::string *out, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *out = all.str();
    return true;
}

std::string BaseName(const std::string &path)
{
    const size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Deflate(const std::string &data)
{
    uLongf size = compressBound((uLong)data.size());
    std::string out(size, '\0');
    if (compress2((Bytef *)out.data(), &size, (const Bytef *)data.data(), (uLong)data.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return std::string();
    out.resize(size);
    return out;
}

JobStep Step(int type, const std::string &payload)
{
    JobStep step;
    step.type = type;
    step.payload = payload;
    return step;
}

/* The cache is asked before a file is sent and its size after. */
void AskHere(const std::string &name, std::vector<JobStep> *steps)
{
    steps->push_back(Step(kIsImageFileHere, std::string(1, '\0') + name + '\x01' + '\x01'));
}
void AskSize(const std::string &name, std::vector<JobStep> *steps)
{
    steps->push_back(Step(kQueryFileSize, name + '\0'));
}

bool ParseInts(const std::string &text, int *values, int n)
{
    std::stringstream in(text);
    std::string item;
    int i = 0;
    while (i < n && std::getline(in, item, ','))
        values[i++] = atoi(item.c_str());
    return i == n;
}

} // namespace

void AppendTransfer(int pieceType, int endType, int mode, const std::string &head,
                    const std::string &data, int pieceSize, std::vector<JobStep> *steps)
{
    const std::string modeByte(1, (char)mode);
    steps->push_back(Step(pieceType, modeByte + head));
    for (size_t at = 0; at < data.size(); at += (size_t)pieceSize)
        steps->push_back(Step(pieceType, modeByte + data.substr(at, (size_t)pieceSize)));
    steps->push_back(Step(endType, modeByte));
}

bool ParseImageOption(const std::string &option, const std::string &value, ImageJobOptions *o,
                      std::string *error)
{
    if (option == "--image")
        o->images.push_back(value);
    else if (option == "--annotation")
        o->annotations.push_back(value);
    else if (option == "--letterhead")
        o->letterheads.push_back(value);
    else if (option == "--store")
        o->stored.push_back(value);
    else if (option == "--signature")
        o->signature = value;
    else if (option == "--signature-at") {
        if (!ParseInts(value, o->signatureAt, 4))
            *error = "--signature-at wants X,Y,HEIGHT,FLAGS";
    } else if (option == "--image-mode")
        o->imageMode = (int)strtol(value.c_str(), nullptr, 0);
    else if (option == "--rotate")
        o->rotation = atoi(value.c_str());
    else if (option == "--piece-size") {
        o->pieceSize = atoi(value.c_str());
        if (o->pieceSize <= 0)
            *error = "--piece-size wants a positive number";
    } else if (option == "--heading")
        o->heading = value;
    else if (option == "--footing")
        o->footing = value;
    else
        return false;
    return true;
}

bool AppendImageSteps(const ImageJobOptions &o, std::vector<JobStep> *steps, std::string *error)
{
    std::string data;
    for (const std::string &file : o.annotations) {
        if (!ReadFile(file, &data, error))
            return false;
        AppendTransfer(kAnnotation, kEndAnnotation, 0, BaseName(file) + '\x01', Deflate(data),
                       o.pieceSize, steps);
    }
    for (const std::string &file : o.letterheads) {
        if (!ReadFile(file, &data, error))
            return false;
        AskHere(BaseName(file), steps);
        AppendTransfer(kLetterhead, kEndLetterhead, 0, BaseName(file) + '\x01', data, o.pieceSize,
                       steps);
        AskSize(BaseName(file), steps);
    }
    for (const std::string &file : o.stored) {
        if (!ReadFile(file, &data, error))
            return false;
        steps->push_back(
            Step(kStoreCacheFile, BaseName(file) + '\0' + NovarcInt32((int)data.size()) + data));
        AskSize(BaseName(file), steps);
    }
    for (const std::string &file : o.images) {
        if (!ReadFile(file, &data, error))
            return false;
        const std::string name = BaseName(file);
        AskHere(name, steps);
        if (!o.heading.empty() || !o.footing.empty())
            steps->push_back(Step(kHeadingFooting, NovarcInt32(o.heading.empty() ? 0 : 1) +
                                                       NovarcInt32(o.footing.empty() ? 0 : 1) +
                                                       o.heading + '\0' + o.footing + '\0'));
        if (o.rotation) {
            std::string settings;
            for (int i = 0; i < 13; i++)
                settings += NovarcInt32(i == 2 ? o.rotation : 0);
            steps->push_back(Step(kImageSettings, settings));
        }
        const std::string bytes = (o.imageMode & 0x10) ? data : Deflate(data);
        AppendTransfer(kPrintImage, kPrintEndImage, o.imageMode, name + '\0' + NovarcInt32(1),
                       bytes, o.pieceSize, steps);
        AskSize(name, steps);
        /* Stored only: printed now as an overlay that leaves its page open
         * for what follows (a signature). */
        if (o.imageMode == 4)
            steps->push_back(
                Step(kPrintLocalImage, std::string(1, '\4') + name + '\0' + NovarcInt32(1)));
    }
    if (!o.signature.empty()) {
        if (!ReadFile(o.signature, &data, error))
            return false;
        std::string head = BaseName(o.signature) + '\0';
        for (int v : o.signatureAt)
            head += NovarcInt32(v);
        AppendTransfer(kSignature, kEndSignature, 0, head, data, o.pieceSize, steps);
    }
    return true;
}

/*
 * The image requests of novarc-send: files sent to the workstation's image
 * cache as the server sends them (a first piece naming the file, pieces of
 * data, an end), each asked for before (IS_IMAGE_FILE_HERE) and its cached
 * size after (QUERY_FILE_SIZE), so the answers show what the cache did.
 */
#ifndef NOVARC_SEND_IMAGE_JOB_H
#define NOVARC_SEND_IMAGE_JOB_H

#include <string>
#include <vector>

#include "job_file.h"

struct ImageJobOptions {
    std::vector<std::string> images;      /* --image FILE: printed at the end of its transfer */
    std::vector<std::string> annotations; /* --annotation FILE: sent before the images */
    std::vector<std::string> letterheads; /* --letterhead FILE: fills the next letterhead slot */
    std::vector<std::string> stored;      /* --store FILE: STORE_CACHE_FILE in one message */
    std::string signature;                /* --signature FILE: sent after the images */
    int signatureAt[4] = {10, 90, 5, 8};  /* --signature-at X,Y,H,FLAGS (tenths of an inch) */
    int imageMode = 0;                    /* --image-mode N; 4 stores, then prints as an overlay */
    int rotation = 0;                     /* --rotate CODE: IMAGE_SETTINGS before each image */
    int pieceSize = 2000;                 /* --piece-size N: data bytes per piece */
    std::string heading, footing;         /* --heading TEXT, --footing TEXT (type 1) */

    bool Any() const
    {
        return !images.empty() || !annotations.empty() || !letterheads.empty() || !stored.empty() ||
               !signature.empty();
    }
};

/* Takes one image option (and its value) off the command line; false when
 * the option is not one of them.  *error is set for a bad value. */
bool ParseImageOption(const std::string &option, const std::string &value, ImageJobOptions *o,
                      std::string *error);

/* The requests of the options, in the order the server sends them:
 * annotations, letterheads, stored files, each image (with its heading and
 * rotation), the signature. */
bool AppendImageSteps(const ImageJobOptions &o, std::vector<JobStep> *steps, std::string *error);

/* One transfer's requests: a first piece (mode, the name and the kind's
 * values), the data in pieces of pieceSize, the end.  The types are the
 * kind's piece and end types. */
void AppendTransfer(int pieceType, int endType, int mode, const std::string &head,
                    const std::string &data, int pieceSize, std::vector<JobStep> *steps);

#endif /* NOVARC_SEND_IMAGE_JOB_H */

/*
 * kellib: the network library shared by the print client and the print
 * service.
 */
#ifndef KELLIB_H
#define KELLIB_H

#include "kellib/msgbuf.h"
#include "kellib/wire.h"
#include "kellib/compress.h"
#include "kellib/protect.h"
#include "kellib/sock.h"
#include "kellib/peer_path.h"
#include "kellib/frame_reader.h"

#endif /* KELLIB_H */

#!/usr/bin/env python3
"""A web server on loopback for the URL printing tests.

    web_page_server.py serve DIR PORTFILE    serves DIR's files
    web_page_server.py silent PORTFILE       accepts and never answers

The port (chosen by the system) is written to PORTFILE once listening.
"""
import http.server
import functools
import socket
import sys
import time


def write_port(path, port):
    with open(path + ".tmp", "w") as f:
        f.write(str(port))
    import os
    os.replace(path + ".tmp", path)


def main():
    mode = sys.argv[1]
    if mode == "serve":
        handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[2])
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        write_port(sys.argv[3], server.server_address[1])
        server.serve_forever()
    else:
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        write_port(sys.argv[2], listener.getsockname()[1])
        held = []
        while True:
            conn, _ = listener.accept()
            held.append(conn)  # never read, never answered


if __name__ == "__main__":
    main()

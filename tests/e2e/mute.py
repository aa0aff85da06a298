#!/usr/bin/python3
# A stand-in for a Wayland compositor, X server or session bus that has hung:
# a Unix socket that takes every connection and never answers.
#   mute.py PATH        (@PATH: in the abstract namespace, as X servers listen)
import socket, sys

server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1].replace("@", "\0", 1) if sys.argv[1][0] == "@" else sys.argv[1])
server.listen(64)
print("ready", flush=True)
held = []
while True:
    held.append(server.accept()[0])

#!/usr/bin/env python3
"""One TLS connection on 127.0.0.1 for the firmware download tests.

Usage: tls_once.py CERT KEY. Prints the port it listens on, then how the handshake ended
("handshake ok" or "handshake failed: REASON"), and exits. After a successful handshake it
answers the request with a whole (zero-filled) image, so a client that does not verify the
certificate would be seen taking it.
"""
import socket
import ssl
import sys

context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
with socket.create_server(("127.0.0.1", 0)) as server:
    server.settimeout(10)
    print(server.getsockname()[1], flush=True)
    connection, _ = server.accept()
    connection.settimeout(10)
    try:
        with context.wrap_socket(connection, server_side=True) as tls:
            print("handshake ok", flush=True)
            tls.recv(4096)
            tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 131072\r\nConnection: close\r\n\r\n"
                        + bytes(131072))
    except (ssl.SSLError, OSError) as error:
        print("handshake failed:", error, flush=True)

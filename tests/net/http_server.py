#!/usr/bin/env python3
"""A crafted HTTP server for the network tests and the download benchmark.

Loopback only, bounded: it stops when its port file is deleted (the test's
end), when the process that started it ends, after its lifetime, or after a
fixed number of connections.

    http_server.py PORT_FILE [LIFETIME_SECONDS]

The port file gets one line: "<port> <full-backlog port> <closed port>".
The full-backlog port is a listener that never accepts (its queue fills
after one connection); the closed port had a listener that was closed.

Requests (GET unless said):
  /bytes/N            200, Content-Length N, N pattern bytes (see Pattern)
  /chunkedbytes/N     200, chunked, N pattern bytes in chunks of 32 KiB
  /echo               200, the request's own bytes (head, and a body of
                      Content-Length bytes) as the body, Content-Length set
  /send?hex=H&piece=P&pause=MS&cut=C&hold=S
                      sends the bytes of hex H exactly, in writes of P bytes
                      (default all at once) with MS milliseconds between
                      them, only the first C bytes (default all), then keeps
                      the connection open S more seconds (at most 30)
                      before closing
"""
import os
import socket
import sys
import threading
import time
import urllib.parse

MAX_CONNECTIONS = 100000
MAX_HEAD = 65536


def pattern(offset, count):
    """Byte i of every pattern body is (i ^ (i >> 8)) & 0xFF."""
    return bytes(((i ^ (i >> 8)) & 0xFF) for i in range(offset, offset + count))


# A 1 MiB block of the pattern: its period (65536) divides the block size.
BLOCK = pattern(0, 1 << 20)


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_HEAD:
            return None, b""
        piece = conn.recv(65536)
        if not piece:
            return None, b""
        data += piece
    end = data.index(b"\r\n\r\n") + 4
    return data[:end], data[end:]


def send_pattern(conn, count):
    offset = 0
    view = memoryview(BLOCK)
    while offset < count:
        n = min(count - offset, len(BLOCK))
        conn.sendall(view[:n])
        offset += n


def handle(conn):
    conn.settimeout(60)
    head, rest = read_head(conn)
    if head is None:
        return
    lines = head.split(b"\r\n")
    parts = lines[0].split(b" ")
    if len(parts) < 2:
        return
    target = parts[1].decode("latin-1")
    url = urllib.parse.urlsplit(target)
    query = urllib.parse.parse_qs(url.query)

    def arg(name, default):
        return int(query[name][0]) if name in query else default

    if url.path.startswith("/bytes/"):
        n = int(url.path[len("/bytes/"):])
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % n)
        send_pattern(conn, n)
    elif url.path.startswith("/chunkedbytes/"):
        n = int(url.path[len("/chunkedbytes/"):])
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        offset = 0
        while offset < n:
            k = min(32768, n - offset)
            conn.sendall(b"%x\r\n" % k + pattern(offset, k) + b"\r\n")
            offset += k
        conn.sendall(b"0\r\n\r\n")
    elif url.path == "/echo":
        body_len = 0
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                body_len = int(value.strip())
        while len(rest) < body_len:
            piece = conn.recv(65536)
            if not piece:
                break
            rest += piece
        reply = head + rest
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(reply) + reply)
    elif url.path == "/send":
        data = bytes.fromhex(query["hex"][0]) if "hex" in query else b""
        data = data[:arg("cut", len(data))]
        piece = max(1, arg("piece", len(data) or 1))
        pause = arg("pause", 0) / 1000.0
        for i in range(0, len(data), piece):
            if i > 0 and pause > 0:
                time.sleep(pause)
            conn.sendall(data[i:i + piece])
        hold = min(arg("hold", 0), 30)
        if hold > 0:
            time.sleep(hold)
    else:
        conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")


def serve_one(conn):
    try:
        handle(conn)
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def main():
    port_file = sys.argv[1]
    lifetime = float(sys.argv[2]) if len(sys.argv) > 2 else 600.0
    deadline = time.monotonic() + lifetime

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    server.settimeout(0.2)

    full = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    full.bind(("127.0.0.1", 0))
    full.listen(0)

    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))
    closed_port = closed.getsockname()[1]
    closed.close()

    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d %d %d\n" % (server.getsockname()[1], full.getsockname()[1], closed_port))
    os.replace(tmp, port_file)

    parent = os.getppid()
    served = 0
    while (served < MAX_CONNECTIONS and time.monotonic() < deadline and os.path.exists(port_file)
           and os.getppid() == parent):
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        except OSError:
            break
        conn.setblocking(True)
        served += 1
        threading.Thread(target=serve_one, args=(conn,), daemon=True).start()
    server.close()
    full.close()
    # Daemon threads still sending are cut off with the process.
    os._exit(0)


if __name__ == "__main__":
    main()

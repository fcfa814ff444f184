#!/usr/bin/env python3
"""The update endpoint and download server of the update-mode program test.

It runs inside the test's own network namespace, where the endpoint's host
name is 127.0.0.1 (a bind-mounted hosts file), and listens on 127.0.0.1 at
the given port (80 there). Loopback only, bounded: it stops when its ready
file is deleted, when its lifetime ends, or after a fixed number of
connections.

    update_server.py FOLDER PORT [LIFETIME_SECONDS]

FOLDER/ready gets the port once it listens. Every request's head is
appended to FOLDER/requests.log as it arrived. Requests:
  /autocheck.php?...   200 with FOLDER/answers/ID.bin as the body, ID being
                       the query's softwareid, else with FOLDER/answer.bin;
                       404 without either
  /files/NAME          200 with FOLDER/files/NAME, Content-Length set
  /cut/NAME            the same head, then only the first half of the body,
                       then the connection is closed
  /flaky/NAME          the first request for NAME is cut as /cut/NAME is,
                       later ones are answered whole as /files/NAME
  /redirect/N?to=URL   302 with Location URL (N only tells redirects apart)
  anything else        404
"""
import errno
import os
import socket
import sys
import threading
import time
import urllib.parse

MAX_CONNECTIONS = 1000
MAX_HEAD = 65536

log_lock = threading.Lock()
flaky_seen = set()


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > MAX_HEAD:
            return None
        chunk = conn.recv(65536)
        if not chunk:
            return None
        data += chunk
    return data[:data.index(b"\r\n\r\n") + 4]


def reply(conn, status, body, extra=b"", send=None):
    head = b"HTTP/1.1 " + status + b"\r\nContent-Length: %d\r\n" % len(body) + extra + b"\r\n"
    conn.sendall(head + (body if send is None else send))


def handle(conn, folder):
    conn.settimeout(60)
    head = read_head(conn)
    if head is None:
        return
    with log_lock:
        with open(os.path.join(folder, "requests.log"), "ab") as f:
            f.write(head)
    parts = head.split(b"\r\n")[0].split(b" ")
    if len(parts) < 2:
        return
    url = urllib.parse.urlsplit(parts[1].decode("latin-1"))
    path = url.path

    def file_bytes(name):
        name = os.path.basename(name)
        with open(os.path.join(folder, "files", name), "rb") as f:
            return f.read()

    try:
        if path == "/autocheck.php":
            ids = urllib.parse.parse_qs(url.query).get("softwareid", [""])
            answer = os.path.join(folder, "answers", os.path.basename(ids[0]) + ".bin")
            if not ids[0] or not os.path.exists(answer):
                answer = os.path.join(folder, "answer.bin")
            if not os.path.exists(answer):
                reply(conn, b"404 Not Found", b"")
                return
            with open(answer, "rb") as f:
                reply(conn, b"200 OK", f.read())
        elif path.startswith("/files/"):
            reply(conn, b"200 OK", file_bytes(path[len("/files/"):]))
        elif path.startswith("/cut/"):
            body = file_bytes(path[len("/cut/"):])
            reply(conn, b"200 OK", body, send=body[:len(body) // 2])
        elif path.startswith("/flaky/"):
            name = path[len("/flaky/"):]
            body = file_bytes(name)
            with log_lock:
                first = name not in flaky_seen
                flaky_seen.add(name)
            reply(conn, b"200 OK", body, send=body[:len(body) // 2] if first else None)
        elif path.startswith("/redirect/"):
            target = urllib.parse.parse_qs(url.query)["to"][0]
            reply(conn, b"302 Found", b"", b"Location: " + target.encode("latin-1") + b"\r\n")
        else:
            reply(conn, b"404 Not Found", b"")
    except (OSError, KeyError):
        reply(conn, b"404 Not Found", b"")


def serve_one(conn, folder):
    try:
        handle(conn, folder)
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def main():
    folder, port = sys.argv[1], int(sys.argv[2])
    lifetime = float(sys.argv[3]) if len(sys.argv) > 3 else 600.0
    deadline = time.monotonic() + lifetime
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    # The previous test's server may still be on its way out (it notices its
    # ready file is gone within 0.2 s): wait for the port rather than fail.
    bind_deadline = time.monotonic() + 30.0
    while True:
        try:
            server.bind(("127.0.0.1", port))
            break
        except OSError as e:
            if e.errno != errno.EADDRINUSE or time.monotonic() > bind_deadline:
                raise
            time.sleep(0.1)
    server.listen(16)
    server.settimeout(0.2)
    ready = os.path.join(folder, "ready")
    with open(ready + ".tmp", "w") as f:
        f.write("%d\n" % server.getsockname()[1])
    os.replace(ready + ".tmp", ready)
    served = 0
    while served < MAX_CONNECTIONS and time.monotonic() < deadline and os.path.exists(ready):
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        served += 1
        threading.Thread(target=serve_one, args=(conn, folder), daemon=True).start()
    server.close()


if __name__ == "__main__":
    main()

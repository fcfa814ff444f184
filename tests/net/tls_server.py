#!/usr/bin/env python3
"""A loopback TLS server for the TLS client tests: makes a throwaway test CA
and a server certificate for 127.0.0.1 / "localhost" in a temporary folder,
then runs `openssl s_server -WWW` over a folder holding the test files.

usage: tls_server.py PORTFILE NACCEPT LIFETIME [s_server options...]

Once the server listens, PORTFILE gets its port (written to a temporary
name, then renamed). The server ends after NACCEPT connections, when
PORTFILE is deleted, or after LIFETIME seconds.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_files(folder):
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
        "-days", "2", "-subj", "/CN=Tarnwick Test CA", cwd=folder)
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=localhost", cwd=folder)
    with open(os.path.join(folder, "ext.cnf"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    run("openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-out", "server.pem", "-days", "2", "-extfile", "ext.cnf", cwd=folder)
    www = os.path.join(folder, "www")
    os.mkdir(www)
    # big.bin: 1 MiB of the pattern the tests know: byte i = (i ^ (i >> 8)) & 0xFF
    with open(os.path.join(www, "big.bin"), "wb") as f:
        f.write(bytes(((i ^ (i >> 8)) & 0xFF) for i in range(1 << 20)))
    with open(os.path.join(www, "hello.txt"), "wb") as f:
        f.write(b"hello over TLS\n")
    return www


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    port_file, naccept, lifetime = sys.argv[1], sys.argv[2], float(sys.argv[3])
    extra = sys.argv[4:]
    folder = tempfile.mkdtemp(prefix="tw-tls-")
    try:
        www = make_files(folder)
        port = free_port()
        server = subprocess.Popen(
            ["openssl", "s_server", "-accept", "127.0.0.1:%d" % port, "-naccept", naccept, "-WWW", "-quiet",
             "-cert", os.path.join(folder, "server.pem"), "-key", os.path.join(folder, "server.key")] + extra,
            cwd=www, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 60
        while time.time() < deadline:
            # ss shows the listener without taking one of its connections.
            out = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True).stdout
            if out.strip() or server.poll() is not None:
                break
            time.sleep(0.05)
        tmp = port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, port_file)
        end = time.time() + lifetime
        while server.poll() is None and os.path.exists(port_file) and time.time() < end:
            time.sleep(0.1)
        if server.poll() is None:
            server.kill()
            server.wait()
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        try:
            os.remove(port_file)
        except OSError:
            pass


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the seeds of the tls_handshake fuzz target: what `openssl
s_server` answers to a ClientHello laid out as the client's (TLS 1.3 with
each suite, with and without the middlebox ChangeCipherSpec, and TLS 1.2
with both CBC suites), with the control byte the target reads last.

usage: make_tls_handshake_seeds.py OUTDIR
"""
import os
import socket
import subprocess
import sys
import tempfile
import time


def client_hello(host):
    n = len(host)
    total = 192 + n
    h = bytearray()
    h += bytes([0x16, 3, 1]) + (total - 5).to_bytes(2, "big")
    h += bytes([1, 0]) + (total - 9).to_bytes(2, "big") + bytes([3, 3])
    h += os.urandom(32) + bytes([32]) + os.urandom(32)
    h += bytes.fromhex("000813011302c013c014")
    h += bytes([1, 0]) + (total - 90).to_bytes(2, "big")
    h += bytes.fromhex("000b00020100" "000a00040002001d" "00230000"
                       "000d000e000c040105010601080408050806" "002d00020101" "002b00050403040303"
                       "003300260024001d0020")
    h += os.urandom(32)
    h += bytes([0, 0]) + (n + 5).to_bytes(2, "big") + (n + 3).to_bytes(2, "big") + bytes([0])
    h += n.to_bytes(2, "big") + host
    assert len(h) == total
    return bytes(h)


def record(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(client_hello(b"localhost"))
    s.settimeout(2)
    data = b""
    try:
        while True:
            piece = s.recv(65536)
            if not piece:
                break
            data += piece
    except socket.timeout:
        pass
    s.close()
    return data


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    folder = tempfile.mkdtemp()
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", folder + "/k.pem",
                    "-out", folder + "/c.pem", "-days", "2", "-subj", "/CN=localhost"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cases = [
        ("tls13_aes128", ["-tls1_3", "-ciphersuites", "TLS_AES_128_GCM_SHA256"]),
        ("tls13_aes256", ["-tls1_3", "-ciphersuites", "TLS_AES_256_GCM_SHA384"]),
        ("tls13_no_middlebox", ["-tls1_3", "-no_middlebox"]),
        ("tls12_aes128", ["-tls1_2", "-cipher", "ECDHE-RSA-AES128-SHA"]),
        ("tls12_aes256", ["-tls1_2", "-cipher", "ECDHE-RSA-AES256-SHA"]),
    ]
    for name, options in cases:
        port = 20000 + os.getpid() % 20000
        server = subprocess.Popen(["openssl", "s_server", "-accept", "127.0.0.1:%d" % port, "-naccept", "1",
                                   "-cert", folder + "/c.pem", "-key", folder + "/k.pem", "-quiet"] + options,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        data = record(port)
        server.kill()
        server.wait()
        # Whole at once with the real checks, and in 16-byte reads with
        # hooks that accept.
        with open(os.path.join(out, name), "wb") as f:
            f.write(data + bytes([0x00]))
        with open(os.path.join(out, name + "_16byte_reads_trusting"), "wb") as f:
            f.write(data + bytes([0x85]))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A loopback TLS server for the TLS client tests: makes a throwaway test CA
and a server certificate in a temporary folder, then runs
`openssl s_server -WWW` over a folder holding the test files.

usage: tls_server.py PORTFILE NACCEPT LIFETIME [--cert KIND] [--flip-ske]
                     [--www-file PATH]... [s_server options...]

KIND is the server certificate: "good" (for localhost and 127.0.0.1, by the
test CA; the default), "other-ca" (by a second CA the client is not given),
"expired", "wrong-host" (for www.example.test only) or "ecdsa" (a P-256
key). --flip-ske puts a proxy in front of the server that flips the last
byte of a TLS 1.2 ServerKeyExchange (its signature). --www-file copies a
file into the served folder under its own name (with the s_server option
-HTTP such a file is sent as a whole HTTP answer).

Once the server listens, PORTFILE.ca gets the test CA (DER) and then
PORTFILE its port (each written to a temporary name, then renamed). The
server ends after NACCEPT connections, when PORTFILE is deleted, or after
LIFETIME seconds.
"""
import datetime
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID
import ipaddress


def name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def make_cert(subject, key, issuer, issuer_key, ca, start, end, names=()):
    b = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
         .public_key(key.public_key()).serial_number(x509.random_serial_number())
         .not_valid_before(start).not_valid_after(end))
    if ca:
        b = b.add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
        b = b.add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
    else:
        b = b.add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=False)
        b = b.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
        alt = []
        for n in names:
            try:
                alt.append(x509.IPAddress(ipaddress.ip_address(n)))
            except ValueError:
                alt.append(x509.DNSName(n))
        b = b.add_extension(x509.SubjectAlternativeName(alt), critical=False)
    return b.sign(issuer_key, hashes.SHA256())


def write_key(path, key):
    with open(path, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))


def make_files(folder, kind):
    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)
    ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    # Each run's CA has a name of its own: chain engines find an issuer by
    # name, and the CAs of earlier runs stay in a test prefix's root store.
    ca_name = "Tarnwick Test CA " + os.urandom(6).hex()
    ca = make_cert(ca_name, ca_key, ca_name, ca_key, True, now - day, now + 2 * day)
    signer, signer_key = ca, ca_key
    if kind == "other-ca":
        signer_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        other_name = "Another Test CA " + os.urandom(6).hex()
        signer = make_cert(other_name, signer_key, other_name, signer_key, True, now - day, now + 2 * day)
    key = (ec.generate_private_key(ec.SECP256R1()) if kind == "ecdsa"
           else rsa.generate_private_key(public_exponent=65537, key_size=2048))
    names = ["www.example.test"] if kind == "wrong-host" else ["localhost", "127.0.0.1"]
    start, end = (now - 3 * day, now - day) if kind == "expired" else (now - day, now + 2 * day)
    issuer = signer.subject.get_attributes_for_oid(NameOID.COMMON_NAME)[0].value
    cert = make_cert("localhost", key, issuer, signer_key, False, start, end, names)
    with open(os.path.join(folder, "server.pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    write_key(os.path.join(folder, "server.key"), key)
    www = os.path.join(folder, "www")
    os.mkdir(www)
    # big.bin: 1 MiB of the pattern the tests know: byte i = (i ^ (i >> 8)) & 0xFF
    with open(os.path.join(www, "big.bin"), "wb") as f:
        f.write(bytes(((i ^ (i >> 8)) & 0xFF) for i in range(1 << 20)))
    with open(os.path.join(www, "hello.txt"), "wb") as f:
        f.write(b"hello over TLS\n")
    return www, ca.public_bytes(serialization.Encoding.DER)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def read_exact(sock, n):
    data = b""
    while len(data) < n:
        piece = sock.recv(n - len(data))
        if not piece:
            return None
        data += piece
    return data


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    for s in (src, dst):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def flip_ske(server, client):
    """Relays server records to the client, flipping the last byte of a
    ServerKeyExchange in the plaintext handshake records."""
    try:
        while True:
            head = read_exact(server, 5)
            if head is None:
                break
            body = bytearray(read_exact(server, (head[3] << 8) | head[4]) or b"")
            if head[0] == 22:
                pos = 0
                while pos + 4 <= len(body):
                    length = (body[pos + 1] << 16) | (body[pos + 2] << 8) | body[pos + 3]
                    if body[pos] == 12 and pos + 4 + length <= len(body):
                        body[pos + 3 + length] ^= 1
                    pos += 4 + length
            client.sendall(head + bytes(body))
    except OSError:
        pass
    for s in (server, client):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def proxy(listener, target_port):
    while True:
        try:
            client, _ = listener.accept()
        except OSError:
            return
        server = socket.create_connection(("127.0.0.1", target_port))
        threading.Thread(target=pump, args=(client, server), daemon=True).start()
        threading.Thread(target=flip_ske, args=(server, client), daemon=True).start()


def main():
    port_file, naccept, lifetime = sys.argv[1], sys.argv[2], float(sys.argv[3])
    extra = sys.argv[4:]
    kind, flip, www_files = "good", False, []
    while extra and extra[0].startswith("--"):
        if extra[0] == "--cert":
            kind = extra[1]
            extra = extra[2:]
        elif extra[0] == "--flip-ske":
            flip = True
            extra = extra[1:]
        elif extra[0] == "--www-file":
            www_files.append(extra[1])
            extra = extra[2:]
        else:
            break
    folder = tempfile.mkdtemp(prefix="tw-tls-")
    try:
        www, ca_der = make_files(folder, kind)
        for path in www_files:
            shutil.copyfile(path, os.path.join(www, os.path.basename(path)))
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
        public_port = port
        if flip:
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(8)
            public_port = listener.getsockname()[1]
            threading.Thread(target=proxy, args=(listener, port), daemon=True).start()
        for path, data in ((port_file + ".ca", ca_der), (port_file, b"%d\n" % public_port)):
            tmp = path + ".tmp"
            with open(tmp, "wb") as f:
                f.write(data)
            os.replace(tmp, path)
        end = time.time() + lifetime
        while server.poll() is None and os.path.exists(port_file) and time.time() < end:
            time.sleep(0.1)
        if server.poll() is None:
            server.kill()
            server.wait()
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        for path in (port_file, port_file + ".ca"):
            try:
                os.remove(path)
            except OSError:
                pass


if __name__ == "__main__":
    main()

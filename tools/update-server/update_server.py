#!/usr/bin/env python3
"""A small update server for the tests of the online services.

Speaks the protected request format on 127.0.0.1 at a port chosen by the system: the usage report
("/client/reportlog") and the version query ("/client/queryversion"), and serves files under "/files/".
It makes a fresh 1024-bit RSA key pair at start, writes the public key to --key-out, prints
"PORT <n>" on standard output and serves until killed. Every request is checked the way the real
server checks it (flags, CRC-32, RSA block, nonce) and logged as one JSON line to --log.

Fault switches (--fault) make the replies misbehave the ways the client must survive.
"""
import argparse
import base64
import datetime
import ipaddress
import json
import os
import ssl
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.x509.oid import NameOID

FLAG_SCRAMBLED, FLAG_CRC, FLAG_RSA = 1, 2, 4
FAULTS = ("none", "wrong-nonce", "flip-body", "short-reply", "http-500", "http-404", "status-failed",
          "unsigned", "slow", "bad-download-crc", "no-length")


def scramble(data: bytes) -> bytes:
    return bytes((((~b) & 0xFF) << 4 | ((~b) & 0xFF) >> 4) & 0xFF for b in data)


def crc32(data: bytes) -> int:
    return zlib.crc32(data) & 0xFFFFFFFF


def sign_crc(key: rsa.RSAPrivateKey, crc: int) -> bytes:
    """Raw PKCS #1 v1.5 type 1 block over the four CRC bytes (no digest info), as the client recovers it."""
    size = key.key_size // 8
    data = crc.to_bytes(4, "little")
    block = b"\x00\x01" + b"\xff" * (size - 3 - len(data)) + b"\x00" + data
    numbers = key.private_numbers()
    n = numbers.public_numbers.n
    return pow(int.from_bytes(block, "big"), numbers.d, n).to_bytes(size, "big")


def unpack_request(key: rsa.RSAPrivateKey, packed: str):
    """Returns (flags, query text) of a request packet, or raises ValueError."""
    packet = base64.b64decode(packed, validate=True)
    if len(packet) < 4:
        raise ValueError("short packet")
    flags = int.from_bytes(packet[:4], "little")
    rest = packet[4:]
    crc = None
    if flags & FLAG_RSA:
        size = key.key_size // 8
        crc = int.from_bytes(key.decrypt(rest[:size], padding.PKCS1v15()), "little")
        rest = rest[size:]
    elif flags & FLAG_CRC:
        crc = int.from_bytes(rest[:4], "little")
        rest = rest[4:]
    text = scramble(rest) if flags & FLAG_SCRAMBLED else rest
    if crc is not None and crc32(text) != crc:
        raise ValueError("crc mismatch")
    return flags, text.decode("utf-8")


def pack_reply(key, flags: int, body: bytes, fault: str) -> bytes:
    crc = crc32(body)
    check = b""
    if flags & FLAG_RSA:
        check = sign_crc(key, crc)
    elif flags & FLAG_CRC:
        check = crc.to_bytes(4, "little")
    payload = bytearray(scramble(body) if flags & FLAG_SCRAMBLED else body)
    if fault == "flip-body":
        payload[len(payload) // 2] ^= 0x01
    packet = flags.to_bytes(4, "little") + check + bytes(payload)
    if fault == "short-reply":
        packet = packet[:131]
    return base64.b64encode(packet)


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, options, key):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.key = key
        self.log_lock = threading.Lock()

    def base_address(self):
        scheme = "https" if self.options.tls else "http"
        return f"{scheme}://127.0.0.1:{self.server_address[1]}"

    def log(self, record):
        if not self.options.log:
            return
        with self.log_lock, open(self.options.log, "a", encoding="utf-8") as out:
            out.write(json.dumps(record) + "\n")


class Handler(BaseHTTPRequestHandler):
    server: Server

    def log_message(self, *args):  # keep test output quiet
        pass

    def send(self, status: int, body: bytes):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        if self.server.options.fault != "no-length":  # then the closing connection ends the body
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        options = self.server.options
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/files/"):
            return self.serve_file(url.path[len("/files/"):])
        if url.path not in ("/client/reportlog", "/client/queryversion"):
            return self.send(404, b"not found")
        raw_query = url.query
        if not raw_query.startswith("v_=") or "&" in raw_query:
            return self.send(400, b"no v_")
        try:
            flags, text = unpack_request(self.server.key, urllib.parse.unquote(raw_query[3:]))
        except ValueError as error:
            self.server.log({"path": url.path, "valid": False, "error": str(error)})
            return self.send(400, b"bad packet")
        params = dict(urllib.parse.parse_qsl(text, keep_blank_values=True))
        self.server.log({"path": url.path, "valid": True, "flags": flags, "text": text, "params": params})

        if options.fault == "slow":
            time.sleep(options.delay)
        if options.fault == "http-500":
            return self.send(500, b"internal error")
        if options.fault == "http-404":
            return self.send(404, b'{"status":"SUCCESS"}')
        reply = self.reply_for(url.path)
        if options.fault == "status-failed":
            return self.send(200, json.dumps({"status": "FAILED", "msg": "busy"}, separators=(",", ":")).encode())
        nonce = params.get("nonce", "")
        if options.fault == "wrong-nonce":
            nonce = "1" + nonce
        body = json.dumps(reply, separators=(",", ":")).encode() + b'{"nonce":"' + nonce.encode() + b'"}'
        reply_flags = 0 if options.fault == "unsigned" else flags
        self.send(200, pack_reply(self.server.key, reply_flags, body, options.fault))

    def reply_for(self, path):
        if path == "/client/reportlog":
            return {"status": "SUCCESS"}
        with open(self.server.options.reply, encoding="utf-8") as source:
            text = source.read().replace("{base}", self.server.base_address())
        return json.loads(text)

    def serve_file(self, name):
        folder = self.server.options.files
        path = os.path.join(folder, os.path.basename(name)) if folder else ""
        if not path or not os.path.isfile(path):
            return self.send(404, b"no such file")
        with open(path, "rb") as source:
            data = bytearray(source.read())
        if self.server.options.fault == "bad-download-crc" and data:
            data[-1] ^= 0xFF
        self.server.log({"path": "/files/" + name, "valid": True})
        self.send(200, bytes(data))


def self_signed_context(cert_out) -> ssl.SSLContext:
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)  # TLS refuses 1024 bits
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "127.0.0.1")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=1))
            .add_extension(x509.SubjectAlternativeName([x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]),
                           critical=False)
            .sign(key, hashes.SHA256()))
    folder = tempfile.mkdtemp(prefix="update-server-tls-")
    cert_path, key_path = cert_out or os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    with open(cert_path, "wb") as out:
        out.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_path, "wb") as out:
        out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                    serialization.NoEncryption()))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_path, key_path)
    os.remove(key_path)
    return context


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--key-out", required=True, help="where to write the public key (PEM)")
    parser.add_argument("--reply", help="JSON file: the version query's reply; {base} becomes this server's address")
    parser.add_argument("--files", help="folder whose files are served under /files/")
    parser.add_argument("--log", help="append one JSON line per request here")
    parser.add_argument("--fault", choices=FAULTS, default="none")
    parser.add_argument("--delay", type=float, default=30.0, help="seconds of the slow fault")
    parser.add_argument("--tls", action="store_true", help="serve https with a self-signed certificate")
    parser.add_argument("--cert-out", help="with --tls: where to write the certificate (PEM)")
    options = parser.parse_args()

    key = rsa.generate_private_key(public_exponent=65537, key_size=1024)
    with open(options.key_out, "wb") as out:
        out.write(key.public_key().public_bytes(serialization.Encoding.PEM,
                                                serialization.PublicFormat.SubjectPublicKeyInfo))
    server = Server(options, key)
    if options.tls:
        server.socket = self_signed_context(options.cert_out).wrap_socket(server.socket, server_side=True)
    print(f"PORT {server.server_address[1]}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

"""BMP messages (RFC 7854) written independently of rpd-host's own writer,
for the live BMP test and the BMP capture fixtures."""
import os
import socket
import struct
import subprocess


def bmp(kind, body):
    return struct.pack("!BIB", 3, 6 + len(body), kind) + body


def peer_header(addr, asn, sec, post=False):
    flags = 0x40 if post else 0
    return struct.pack("!BB8s16sIIII", 0, flags, b"\0" * 8, b"\0" * 12 + socket.inet_aton(addr), asn,
                       0xC0000201, sec, 500000)


def tlv(kind, value):
    return struct.pack("!HH", kind, len(value)) + value


def open_msg(asn):
    caps = bytes([2, 6, 1, 4, 0, 1, 0, 75])  # one capability: multiprotocol AFI 1 / SAFI 75
    body = struct.pack("!BHHIB", 4, asn, 90, 0x0A000001, len(caps)) + caps
    return b"\xff" * 16 + struct.pack("!HB", 19 + len(body), 1) + body


def peer_up(addr, asn, sec):
    local = b"\0" * 12 + socket.inet_aton("192.0.2.254")
    return bmp(3, peer_header(addr, asn, sec) + local + struct.pack("!HH", 179, 40000) + open_msg(65000)
               + open_msg(asn))


def update(tool, src, work, sample):
    """The first UPDATE of a bundled sample, as a raw BGP message, written by `rpd-host encode`."""
    raw = os.path.join(work, sample + ".raw")
    subprocess.run([tool, "encode", "--format", "raw", "--output", raw, os.path.join(src, "samples", sample + ".json")],
                   check=True)
    data = open(raw, "rb").read()
    return data[:struct.unpack("!H", data[16:18])[0]]

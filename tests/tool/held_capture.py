#!/usr/bin/env python3
"""Writes a pcap of FLOWS BGP connections, each of which loses its second
segment and then sends SEGMENTS one-byte segments that wait behind the gap:
the worst case for what capture reassembly holds (every held byte costs its
bookkeeping). Usage: held_capture.py OUT FLOWS SEGMENTS"""
import struct
import sys


def main():
    out, flows, segments = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(out, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
        heads = []
        for i in range(flows):
            eth = b"\x02" * 6 + b"\x04" * 6 + b"\x08\x00"
            src, dst = bytes([10, 1, i >> 8 & 255, i & 255]), bytes([10, 2, 0, 1])
            heads.append((eth, src, dst, 40000 + i % 20000))
        frame = 0

        def put(flow, seq, data):
            nonlocal frame
            eth, src, dst, sport = heads[flow]
            ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 40 + len(data), 0, 0, 64, 6, 0, src, dst)
            tcp = struct.pack("!HHIIBBHHH", sport, 179, seq, 0, 0x50, 0x18, 65535, 0, 0)
            pkt = eth + ip + tcp + data
            frame += 1
            f.write(struct.pack("<IIII", 1700000000 + frame // 1000000, frame % 1000000, len(pkt), len(pkt)))
            f.write(pkt)

        for i in range(flows):
            put(i, 1000, b"\xff")  # the stream starts; 1001 never comes
        for j in range(segments):
            for i in range(flows):
                put(i, 1002 + j, b"\xff")


main()

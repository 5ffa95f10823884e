"""A capture's damaged packets and early end reach Python as warnings, never in silence."""

import os
import struct
import subprocess
import sys

import pytest

import tarvik
from conftest import cli


def udp_packet(payload, sport=7000, dport=40000):
    """An Ethernet frame around an IPv4 UDP datagram (checksums left 0)."""
    udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
    ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0,
                     bytes([10, 0, 0, 1]), bytes([10, 0, 0, 2]))
    return b"\0" * 12 + b"\x08\x00" + ip + udp


def vx_packet(record):
    """One Network frame carrying a whole record (or any bytes)."""
    return struct.pack("<HHIHHIIIIHHI", 5, 36, 1, 1, 1, 36 + len(record), len(record), 0, 0, 0, 0, 1) + record


def pcap(frames):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    for i, frame in enumerate(frames):
        out += struct.pack("<IIII", 1_700_000_000, i, len(frame), len(frame)) + frame
    return out


def test_damaged_packets_and_an_early_end_are_warnings(tmp_path):
    records = tmp_path / "records.vxr"
    cli("generate", records, "--frames", 3, "--no-catalog")
    data = records.read_bytes()
    frames, at = [], 0
    while at + 12 <= len(data):
        size = struct.unpack_from("<I", data, at + 8)[0]
        frames.append(data[at:at + size])
        at += size
    packets = [udp_packet(vx_packet(frames[1])), udp_packet(vx_packet(b"not a record\nframe, only some text")),
               udp_packet(vx_packet(frames[2]))]
    capture = tmp_path / "damaged.pcap"
    capture.write_bytes(pcap(packets))

    with pytest.warns(RuntimeWarning, match="1 damaged packet"):
        f = tarvik.open(capture)
    assert len(f) == 2
    assert any("damaged packet" in w for w in f.warnings)

    cut = tmp_path / "cut.pcap"
    cut.write_bytes(pcap(packets)[:-20])
    with pytest.warns(RuntimeWarning, match="could not be read to its end"):
        tarvik.open(cut)


def test_a_missing_capture_library_raises_naming_the_package(tmp_path):
    """libpcap is opened with the first capture; without it, opening one raises and says what to install."""
    capture = tmp_path / "one.pcap"
    capture.write_bytes(pcap([udp_packet(vx_packet(b"x" * 64))]))
    env = dict(os.environ, TARVIK_PCAP_LIBRARY=str(tmp_path / "libpcap-missing.so.0.8"))
    code = ("import sys, tarvik\n"
            "try:\n    tarvik.open(sys.argv[1])\n"
            "except Exception as e:\n    print(type(e).__name__, e)\n    sys.exit(3)\n")
    r = subprocess.run([sys.executable, "-c", code, str(capture)], env=env, capture_output=True, text=True,
                       timeout=120, check=False)
    assert r.returncode == 3, r.stdout + r.stderr
    assert "libpcap-missing.so.0.8" in r.stdout and "libpcap0.8" in r.stdout

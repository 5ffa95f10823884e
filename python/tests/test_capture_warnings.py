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


def pcap(frames, snaplen=65535):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, snaplen, 1)
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
    """libpcap is opened with the first capture that needs it (here a packet longer than the file's
    snapshot length); without it, opening one raises and says what to install."""
    capture = tmp_path / "one.pcap"
    capture.write_bytes(pcap([udp_packet(vx_packet(b"x" * 64))], snaplen=64))
    env = dict(os.environ, TARVIK_PCAP_LIBRARY=str(tmp_path / "libpcap-missing.so.0.8"))
    code = ("import sys, tarvik\n"
            "try:\n    tarvik.open(sys.argv[1])\n"
            "except Exception as e:\n    print(type(e).__name__, e)\n    sys.exit(3)\n")
    r = subprocess.run([sys.executable, "-c", code, str(capture)], env=env, capture_output=True, text=True,
                       timeout=120, check=False)
    assert r.returncode == 3, r.stdout + r.stderr
    assert "libpcap-missing.so.0.8" in r.stdout and "libpcap0.8" in r.stdout

    # A capture of the common formats is read without it.
    capture.write_bytes(pcap([udp_packet(vx_packet(b"x" * 64))]))
    r = subprocess.run([sys.executable, "-c", code, str(capture)], env=env, capture_output=True, text=True,
                       timeout=120, check=False)
    assert r.returncode == 0, r.stdout + r.stderr


def tcp_packet(payload, seq, client_port, flags=0x18):
    """An Ethernet frame around an IPv4 TCP segment from the server 10.0.0.1:7000 to a client of 10.0.0.2."""
    tcp = struct.pack(">HHIIBBHHH", 7000, client_port, seq & 0xFFFFFFFF, 0, 5 << 4, flags, 65535, 0, 0) + payload
    ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(tcp), 1, 0x4000, 64, 6, 0,
                     bytes([10, 0, 0, 1]), bytes([10, 0, 0, 2]))
    return b"\0" * 12 + b"\x08\x00" + ip + tcp


# Opens each capture under a 1 GB address-space limit and prints its records and warnings.
OPEN_LIMITED = """
import resource, sys, warnings
if not sys.argv[1]:
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
import tarvik
warnings.simplefilter("ignore")
for path in sys.argv[2:]:
    f = tarvik.open(path)
    print(len(f), len(f.warnings))
"""


def test_hostile_captures_cost_only_the_bytes_they_hold(tmp_path):
    """What a capture announces costs nothing until its bytes come; many connections at once are all followed."""
    records = tmp_path / "records.vxr"
    cli("generate", records, "--frames", 2, "--no-catalog")
    data = records.read_bytes()
    record = data[struct.unpack_from("<I", data, 8)[0]:]
    record = record[:struct.unpack_from("<I", record, 8)[0]]
    # 64 UDP flows, each opening a record announced at 64 MiB in 2,000 packets and sending no more.
    announced = []
    for c in range(64):
        packet = bytearray(vx_packet(record))
        struct.pack_into("<II", packet, 4, 2000, 0)
        struct.pack_into("<I", packet, 16, 64 << 20)
        announced.append(udp_packet(bytes(packet), dport=41000 + c))
    huge = tmp_path / "archive" / "announced.pcap"
    huge.parent.mkdir()
    huge.write_bytes(pcap(announced))
    # 300 connections open at once, each with three records whose packets come in two halves.
    connections, frames, seq = 300, [], {}
    for c in range(connections):
        frames.append(tcp_packet(b"", 1000, 20000 + c, flags=0x12))
        seq[c] = 1001
    whole = vx_packet(record)
    for _ in range(3):
        for half in (whole[:len(whole) // 2], whole[len(whole) // 2:]):
            for c in range(connections):
                frames.append(tcp_packet(half, seq[c], 20000 + c))
                seq[c] += len(half)
    many = tmp_path / "archive" / "connections.pcap"
    many.write_bytes(pcap(frames))

    # The sanitizer's runtime reserves far more address space than 1 GB: no limit there.
    sanitized = "asan" in os.environ.get("LD_PRELOAD", "")
    limit = "" if not sanitized else "none"
    run = subprocess.run([sys.executable, "-c", OPEN_LIMITED, limit, str(huge), str(many)], capture_output=True,
                         text=True, timeout=120, check=False)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split("\n")[:2] == ["0 1", f"{3 * connections} 0"], run.stdout
    # Records whose bytes never came are not left out in silence.
    with pytest.warns(RuntimeWarning, match="lost 64 records whose bytes never all came"):
        tarvik.open(huge)

    def limited():
        if not sanitized:
            import resource
            resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))

    audit_program = os.environ.get("TARVIK_AUDIT", "tarvik-audit")
    report = tmp_path / "audit.json"
    run = subprocess.run([audit_program, str(huge.parent), "--workers", "1", "--json", str(report)],
                         capture_output=True, text=True, timeout=300, check=False, preexec_fn=limited)
    assert run.returncode in (0, 1), run.stdout + run.stderr
    import json
    files = {os.path.basename(f["file"]): f for f in json.loads(report.read_text())["files"]}
    assert files["connections.pcap"]["frames"] == 3 * connections
    assert files["announced.pcap"]["readable"]

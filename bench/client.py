#!/usr/bin/env python3
"""A native HTTP client for the benchmark, as a viewer's browser would be: Linux sockets on
loopback, one connection per request, read until the server closes.

    client.py latency PORT COUNT            prints "median p95" in milliseconds
    client.py rate PORT SECONDS CLIENTS PATH  prints requests per second (whole replies only)
    client.py save PORT FILE                saves one reply's body (after the 64-byte header)
    client.py count PORT N                  makes N requests
    client.py paced PORT COUNT GAP_MS        one request every GAP_MS; prints the medians of the
                                            whole request, connect to first byte, first to last
                                            byte, and last byte to end of file, in milliseconds
"""
import socket
import statistics
import sys
import threading
import time


def fetch(port, path="/"):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(("GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
        s.shutdown(socket.SHUT_WR)
        chunks = []
        while True:
            data = s.recv(1 << 20)
            if not data:
                break
            chunks.append(data)
    return b"".join(chunks)


def latency(port, count):
    samples = []
    for _ in range(count):
        start = time.perf_counter()
        fetch(port)
        samples.append((time.perf_counter() - start) * 1000)
    samples.sort()
    p95 = samples[min(len(samples) - 1, max(0, int(len(samples) * 0.95 + 0.999) - 1))]
    print("%.1f %.1f" % (statistics.median(samples), p95))


def rate(port, seconds, clients, path):
    expected = len(fetch(port, path))
    served = [0] * clients
    end = time.perf_counter() + seconds

    def run(k):
        while time.perf_counter() < end:
            if len(fetch(port, path)) >= expected:
                served[k] += 1

    start = time.perf_counter()
    threads = [threading.Thread(target=run, args=(k,)) for k in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("%.0f" % (sum(served) / (time.perf_counter() - start)))


def paced(port, count, gap_ms):
    phases = []
    for _ in range(count):
        time.sleep(gap_ms / 1000)
        start = time.perf_counter()
        first = last = None
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            s.sendall(b"GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
            s.shutdown(socket.SHUT_WR)
            while True:
                data = s.recv(1 << 20)
                now = time.perf_counter()
                if not data:
                    break
                first = first or now
                last = now
        end = time.perf_counter()
        if first is not None:
            phases.append((end - start, first - start, last - first, end - last))
    medians = [statistics.median(p[i] for p in phases) * 1000 for i in range(4)]
    print("%.2f %.2f %.2f %.2f" % tuple(medians))


if __name__ == "__main__":
    mode, port = sys.argv[1], int(sys.argv[2])
    if mode == "latency":
        latency(port, int(sys.argv[3]))
    elif mode == "rate":
        rate(port, float(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    elif mode == "paced":
        paced(port, int(sys.argv[3]), float(sys.argv[4]))
    elif mode == "count":
        for _ in range(int(sys.argv[3])):
            fetch(port)
    elif mode == "save":
        body = fetch(port)[64:]
        with open(sys.argv[3], "wb") as f:
            f.write(body)

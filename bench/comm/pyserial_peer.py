# SPDX-License-Identifier: MIT
# pyserial on the pty slave given, for bench_comm: "request N" times N blocking 2-byte requests
# with 5-byte replies (read with a time-out); "bulk BYTES" sends and receives BYTES at once.
# Prints "ready" once the port is open (opening flushes what the pty received before), then one
# line: the milliseconds of each request, or the seconds of the bulk transfer.
import sys
import threading
import time

import serial

path, part, amount = sys.argv[1], sys.argv[2], int(sys.argv[3])
port = serial.Serial(path, 115200, timeout=1)
print("ready", flush=True)
if part == "request":
    times = []
    for _ in range(amount):
        start = time.perf_counter()
        port.write(b"AB")
        if len(port.read(5)) != 5:
            sys.exit("no reply")
        times.append((time.perf_counter() - start) * 1e3)
    print(" ".join(f"{t:.4f}" for t in times))
else:
    block = bytes(i * 7 % 256 for i in range(16384))
    start = time.perf_counter()

    def send():
        sent = 0
        while sent < amount:
            sent += port.write(block[: min(len(block), amount - sent)])

    sender = threading.Thread(target=send)
    sender.start()
    got = 0
    while got < amount:
        got += len(port.read(min(65536, amount - got)))
    sender.join()
    print(f"{time.perf_counter() - start:.6f}")
port.close()

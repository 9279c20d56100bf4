#!/usr/bin/env python3
"""A mixed load for the soak: pages with variables, listings, gopher menus,
CGI programs, board posts, missing pages, resets in the middle of a
transfer, slow readers, clients that send nothing, and bursts past the
server's 32 slots. Every connection it opens is counted; it prints the
number of connections and how many of each kind got a whole answer.

    soak_load.py HTTP_PORT GOPHER_PORT SECONDS
"""
import asyncio
import random
import socket
import struct
import sys
import time
from collections import Counter

opened = 0
answered = Counter()
failed = Counter()


async def connect(port):
    global opened
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    opened += 1
    return reader, writer


async def exchange(kind, port, request, expect):
    try:
        reader, writer = await connect(port)
        writer.write(request)
        await writer.drain()
        answer = await asyncio.wait_for(reader.read(-1), 120)
        writer.close()
        (answered if expect in answer else failed)[kind] += 1
    except (OSError, asyncio.TimeoutError):
        failed[kind] += 1


async def reset_midway(port):
    try:
        reader, writer = await connect(port)
        writer.write(b"GET /big.bin HTTP/1.0\r\n\r\n")
        await writer.drain()
        await asyncio.wait_for(reader.read(4096), 30)
        sock = writer.get_extra_info("socket")
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        writer.close()
        answered["reset"] += 1
    except (OSError, asyncio.TimeoutError):
        failed["reset"] += 1


async def slow_reader(port):
    try:
        reader, writer = await connect(port)
        writer.write(b"GET /big.bin HTTP/1.0\r\n\r\n")
        await writer.drain()
        total = 0
        while True:
            piece = await asyncio.wait_for(reader.read(2048), 120)
            if not piece:
                break
            total += len(piece)
            await asyncio.sleep(0.05)
        writer.close()
        (answered if total > 1000000 else failed)["slow"] += 1
    except (OSError, asyncio.TimeoutError):
        failed["slow"] += 1


async def silent(port):
    try:
        reader, writer = await connect(port)
        # The server closes it after its read time-out.
        await asyncio.wait_for(reader.read(-1), 90)
        writer.close()
        answered["silent"] += 1
    except (OSError, asyncio.TimeoutError):
        failed["silent"] += 1


async def burst(port):
    await asyncio.gather(*(exchange("burst", port, b"GET /small.txt HTTP/1.0\r\n\r\n", b"small")
                           for _ in range(40)))


def kinds(http, gopher):
    n = random.randrange(1 << 30)
    return [
        lambda: exchange("page", http, b"GET /vars.htm HTTP/1.0\r\nUser-Agent: soak\r\n\r\n",
                         b"soak"),
        lambda: exchange("listing", http, b"GET /docs/ HTTP/1.0\r\n\r\n", b"</PRE>"),
        lambda: exchange("menu", gopher, b"1/docs\r\n", b"\r\n.\r\n"),
        lambda: exchange("cgi", http, b"GET /cgi/hello.sh?x=%d HTTP/1.0\r\n\r\n" % n, b"hello"),
        lambda: exchange("post", http,
                         b"POST /messages/guests HTTP/1.0\r\nContent-length: 21\r\n\r\n"
                         b"name=soak&text=hello!", b"soak"),
        lambda: exchange("missing", http, b"GET /missing-%d.htm HTTP/1.0\r\n\r\n" % n, b"404"),
        lambda: reset_midway(http),
        lambda: slow_reader(http),
        lambda: silent(http),
        lambda: burst(http),
    ]


async def main(http, gopher, seconds):
    weights = [30, 10, 10, 10, 5, 10, 3, 1, 1, 1]
    tasks = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        choice = random.choices(kinds(http, gopher), weights)[0]
        tasks.append(asyncio.ensure_future(choice()))
        tasks = [t for t in tasks if not t.done()]
        await asyncio.sleep(random.uniform(0.005, 0.05))
    await asyncio.gather(*tasks)
    print(f"connections {opened}")
    print("answered " + " ".join(f"{k}={v}" for k, v in sorted(answered.items())))
    print("failed " + " ".join(f"{k}={v}" for k, v in sorted(failed.items())))


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])))

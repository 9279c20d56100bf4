#!/usr/bin/env python3
"""A paced HTTP/1.0 load: one request per connection, started at a fixed rate
whatever the server's speed, so that every server sees the same requests per
second. Prints the number of answers that arrived whole and the latencies
(median and 90th percentile, milliseconds).

    paced_load.py PORT PATH RATE COUNT
"""
import asyncio
import statistics
import sys
import time


async def one(port, path, latencies, failures):
    begin = time.perf_counter()
    try:
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        writer.write(f"GET {path} HTTP/1.0\r\nHost: localhost\r\n\r\n".encode())
        await writer.drain()
        answer = await asyncio.wait_for(reader.read(-1), 10)
        writer.close()
        if not answer.startswith(b"HTTP/1.") or b" 200 " not in answer.split(b"\r\n", 1)[0]:
            failures.append(answer[:80])
            return
    except (OSError, asyncio.TimeoutError) as error:
        failures.append(str(error))
        return
    latencies.append((time.perf_counter() - begin) * 1000)


async def main(port, path, rate, count):
    latencies, failures, tasks = [], [], []
    start = time.perf_counter()
    for i in range(count):
        delay = start + i / rate - time.perf_counter()
        if delay > 0:
            await asyncio.sleep(delay)
        tasks.append(asyncio.ensure_future(one(port, path, latencies, failures)))
    await asyncio.gather(*tasks)
    latencies.sort()
    p90 = latencies[int(len(latencies) * 0.9)] if latencies else 0
    median = statistics.median(latencies) if latencies else 0
    print(f"{len(latencies)} {len(failures)} {median:.3f} {p90:.3f}")


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), sys.argv[2], float(sys.argv[3]), int(sys.argv[4])))

#!/usr/bin/env python3
"""A TCP relay that adds a fixed one-way delay to everything it carries, in both directions, as a far link does:
   latency_relay.py LISTEN_PORT TARGET_PORT DELAY_MS
Listens on 127.0.0.1:LISTEN_PORT, relays each connection to 127.0.0.1:TARGET_PORT. A connection is made to the
target one round trip (2 x DELAY_MS) after it was accepted, as a TCP handshake over the link would cost, and every
piece of data reaches the other side DELAY_MS after it arrived, in order. Bandwidth is not limited. Prints
"ready" once listening. For benchmarks where the kernel has no netem queueing discipline to do this."""
import asyncio
import sys


async def pump(reader, writer, delay):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - asyncio.get_running_loop().time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    task = asyncio.create_task(deliver())
    loop = asyncio.get_running_loop()
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data if data else None))
            if not data:
                break
    except ConnectionError:
        await queue.put((loop.time() + delay, None))
    try:
        await task
    except ConnectionError:
        pass


async def relay(client_reader, client_writer, target_port, delay):
    await asyncio.sleep(2 * delay)
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pump(client_reader, server_writer, delay), pump(server_reader, client_writer, delay),
                         return_exceptions=True)
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    listen_port, target_port, delay_ms = (int(arg) for arg in sys.argv[1:4])
    delay = delay_ms / 1000.0
    server = await asyncio.start_server(lambda r, w: relay(r, w, target_port, delay), "127.0.0.1", listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: latency_relay.py LISTEN_PORT TARGET_PORT DELAY_MS")
    asyncio.run(main())

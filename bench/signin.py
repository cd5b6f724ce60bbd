#!/usr/bin/env python3
"""The one-write client of the sign-in benchmark, and the recorder that gives
it the client's requests.

  signin.py record <listen port> <upstream port> <file>
      A loopback proxy in front of the local service: forwards every
      connection to the upstream port and appends each request it carries
      (headers and body, as the client sent them) to <file> as JSON lines.
      Runs until it is killed.
  signin.py replay <file> <first path> <last path> <port> <runs> [<CA file>]
      Sends the recorded requests from the first one for <first path> to the
      first one for <last path> on one kept-alive connection, each request in
      one sendall(), and reads each answer whole; with a CA file over TLS.
      Prints "<ms> <requests>" per run, a fresh connection each run, timed
      from the connect (TLS handshake included) to the last answer.

Signed requests carry their signing time: the local service must accept
them (its --tolerance) for as long as the benchmark runs.
"""
import json
import socket
import ssl
import sys
import threading
import time


def read_message(stream, buffer):
    """One HTTP message (headers and Content-Length or chunked body) from
    stream; returns (message, rest of the buffer) or (None, buffer) at EOF."""
    while b"\r\n\r\n" not in buffer:
        data = stream.recv(65536)
        if not data:
            return None, buffer
        buffer += data
    head, _, rest = buffer.partition(b"\r\n\r\n")
    headers = {}
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        headers[name.strip().lower()] = value.strip()
    if headers.get(b"transfer-encoding", b"").lower() == b"chunked":
        body = b""
        while True:
            while b"\r\n" not in rest:
                rest += stream.recv(65536)
            size_line, _, rest = rest.partition(b"\r\n")
            size = int(size_line.split(b";")[0], 16)
            while len(rest) < size + 2:
                rest += stream.recv(65536)
            body += rest[: size + 2]
            rest = rest[size + 2:]
            if size == 0:
                break
        return head + b"\r\n\r\n" + body, rest
    length = int(headers.get(b"content-length", b"0"))
    while len(rest) < length:
        data = stream.recv(65536)
        if not data:
            break
        rest += data
    return head + b"\r\n\r\n" + rest[:length], rest[length:]


def record(listen_port, upstream_port, path):
    lock = threading.Lock()

    def serve(client):
        upstream = socket.create_connection(("127.0.0.1", upstream_port))
        for s in (client, upstream):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        buffer, answers = b"", b""
        while True:
            request, buffer = read_message(client, buffer)
            if request is None:
                break
            with lock, open(path, "a") as out:
                out.write(json.dumps({"request": request.decode("latin-1")}) + "\n")
            upstream.sendall(request)
            answer, answers = read_message(upstream, answers)
            if answer is None:
                break
            client.sendall(answer)
        client.close()
        upstream.close()

    server = socket.create_server(("127.0.0.1", listen_port))
    print("recording on", listen_port, flush=True)
    while True:
        client, _ = server.accept()
        threading.Thread(target=serve, args=(client,), daemon=True).start()


def replay(path, first, last, port, runs, ca=None):
    with open(path) as f:
        recorded = [json.loads(line)["request"].encode("latin-1") for line in f]

    def target(request):
        return request.split(b" ", 2)[1].split(b"?")[0].decode()

    start = next(i for i, r in enumerate(recorded) if target(r) == first)
    end = next(i for i, r in enumerate(recorded) if i >= start and target(r) == last)
    requests = recorded[start: end + 1]
    context = None
    if ca:
        context = ssl.create_default_context(cafile=ca)
    for _ in range(runs):
        # Timed from the connect, as the client's sign-in opens its connection
        # (and its TLS session) too.
        began = time.perf_counter()
        connection = socket.create_connection(("127.0.0.1", port))
        if context:
            connection = context.wrap_socket(connection, server_hostname="127.0.0.1")
        buffer = b""
        for request in requests:
            connection.sendall(request)
            answer, buffer = read_message(connection, buffer)
            if answer is None:
                sys.exit("the service closed the connection")
        print(f"{(time.perf_counter() - began) * 1000:.2f} {len(requests)}", flush=True)
        connection.close()


if __name__ == "__main__":
    if sys.argv[1] == "record":
        record(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4])
    else:
        replay(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6]),
               sys.argv[7] if len(sys.argv) > 7 else None)

#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (tests/fuzz/corpus/<target>/).

The answers are captured from the bundled local service, started here on a
free loopback port with a data directory of its own: the calls are signed as
the client signs them, and a few of the service's faults give the failure
shapes. The rest (stream bytes, control lines, requests) is written in the
forms the client, the conference stand-in and the receiver use.

    tests/fuzz/capture_corpus.py BUILD/bin/vantelor-localservice

Files named regression-* are kept; every other file is written anew.
"""

import base64
import datetime
import hashlib
import hmac
import http.client
import json
import os
import struct
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import padding

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CORPUS = os.path.join(SOURCE, "tests", "fuzz", "corpus")
DEPLOYMENT = os.path.join(SOURCE, "config", "local.json")
DEVICE_ID = "02:42:ac:11:00:02"
CLIENT_IP = "192.0.2.10"
# The signature target's service clock.
FUZZ_NOW = datetime.datetime(2026, 12, 11, 9, 30, 0, tzinfo=datetime.timezone.utc)
VERSION_B = {"companyList", "personDetail", "joinInvitingCompany", "modifyProfile"}
# The order of SignedCalls::all() in the local service: the signature
# target's first byte picks a call by it.
ROLES = ["authCodeByPassword", "authCodeBySmsCode", "tokenFromAuthCode", "validateToken", "companyList",
         "personDetail", "accessTicket", "logout", "sendSmsCode", "preCreateAccount", "joinInvitingCompany",
         "resetPassword", "changePassword", "modifyProfile", "conferenceConfig"]

with open(DEPLOYMENT, encoding="utf-8") as f:
    ROOT = json.load(f)
SERVICE = ROOT["service"]
PUBLIC_KEY = serialization.load_pem_public_key(SERVICE["rsaPublicKeyPem"].encode())

written = {}


def put(target, name, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    written.setdefault(target, {})[name] = data


def escape_value(value):
    # The client escapes "&", "=", "+" and "%" inside values.
    return value.replace("%", "%25").replace("&", "%26").replace("=", "%3D").replace("+", "%2B")


def signed_request(role, fields, when):
    path = SERVICE["paths"][role]
    timestamp = when.strftime("%Y-%m-%dT%H:%M:%SZ")
    millis = str(int(when.timestamp() * 1000))
    nonce = millis[:-5] + "417"
    signed = "&".join(f"{n}={v}" for n, v in fields)
    posted = []
    for n, v in fields:
        credential = role == "authCodeByPassword" and n in ("account", "password")
        posted.append(f"{n}={urllib.parse.quote(v, safe='-._~') if credential else escape_value(v)}")
    body = "&".join(posted).encode("utf-8")
    string_to_sign = f"POST\n{timestamp}\n{nonce}\n{path}\n{signed}"
    signature = base64.b64encode(hmac.new(SERVICE["hmacSecret"].encode(), string_to_sign.encode("utf-8"),
                                          hashlib.sha256).digest()).decode()
    version = SERVICE["signatureVersionB" if role in VERSION_B else "signatureVersionA"]
    headers = [("X-Hmac-Auth-IP", CLIENT_IP), ("X-Hmac-Auth-Timestamp", timestamp),
               ("X-Hmac-Auth-Version", version), ("X-Hmac-Auth-Nonce", nonce), ("apiKey", SERVICE["apiKey"]),
               ("X-Hmac-Auth-Signature", signature), ("X-Hmac-Auth-MAC", DEVICE_ID),
               ("Content-Type", SERVICE["contentType"])]
    return path, headers, body


def rsa(text):
    return base64.b64encode(PUBLIC_KEY.encrypt(text.encode(), padding.PKCS1v15())).decode()


class Service:
    def __init__(self, program):
        self.data = tempfile.mkdtemp(prefix="vantelor-corpus-")
        self.process = subprocess.Popen(
            [program, "--deployment", DEPLOYMENT, "--port", "0", "--data", self.data, "--exit-with-parent"],
            stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if "listening on 127.0.0.1:" not in line:
            raise SystemExit(f"the local service did not start: {line!r}")
        self.origin = "http://127.0.0.1:" + line.strip().rsplit(":", 1)[1]

    def send(self, method, path, body=None, headers=()):
        request = urllib.request.Request(self.origin + path, data=body, method=method)
        for name, value in headers:
            request.add_header(name, value)
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                return reply.read()
        except urllib.error.HTTPError as error:
            return error.read()
        except http.client.IncompleteRead as error:
            return error.partial

    def call(self, role, fields):
        now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        path, headers, body = signed_request(role, fields, now)
        return self.send("POST", path, body, headers)

    def control(self, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        return json.loads(self.send("GET" if body is None else "POST", path, data,
                                    [("Content-Type", "application/json")]))

    def fault(self, endpoint, mode, **extra):
        self.control("/__control/fault", dict(endpoint=endpoint, mode=mode, count=1, **extra))

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def device():
    return [("clientIp", CLIENT_IP), ("deviceId", DEVICE_ID)]


def capture(service):
    app = SERVICE["appCode"]
    phone, password = "13800000001", "demo1234"

    def password_call(account, secret):
        return service.call("authCodeByPassword", [("account", rsa(account)), ("appCode", app)] + device() +
                            [("keyVersion", SERVICE["keyVersion"]), ("password", rsa(secret))])

    answer = password_call(phone, password)
    put("serviceanswer", "authcode-ok", b"\x00" + answer)
    put("serviceanswer", "authcode-wrong-password", b"\x00" + password_call(phone, "wrong"))
    put("serviceanswer", "authcode-locked-refused", b"\x01" + password_call("13800000002", password))
    auth_code = json.loads(answer)["content"]

    service.fault("tokenFromAuthCode", "timeOffset")
    put("serviceanswer", "token-time-offset-learned",
        b"\x80" + service.call("tokenFromAuthCode", [("appCode", app), ("authCode", auth_code)] + device()))
    token_answer = service.call("tokenFromAuthCode", [("appCode", app), ("authCode", auth_code)] + device())
    put("tokenanswer", "token-ok", token_answer)
    put("tokenanswer", "token-bad-authcode",
        service.call("tokenFromAuthCode", [("appCode", app), ("authCode", "nonsense")] + device()))
    token = json.loads(token_answer)["content"]["accessToken"]
    put("tokenanswer", "validate-ok",
        service.call("validateToken", [("accessToken", token), ("appCode", app)] + device()))
    service.fault("validateToken", "wrongTypes")
    put("tokenanswer", "validate-wrong-types",
        service.call("validateToken", [("accessToken", token), ("appCode", app)] + device()))

    put("loginanswer", "companies-ok", service.call("companyList", [("__accesstoken", token), ("__appcode", app)]))
    service.fault("companyList", "wrongTypes")
    put("loginanswer", "companies-wrong-types",
        service.call("companyList", [("__accesstoken", token), ("__appcode", app)]))
    put("loginanswer", "person-ok", service.call("personDetail", [("__accesstoken", token), ("__appcode", app),
                                                                 ("targetAccountId", "10001")]))
    ticket_fields = [("accessToken", token), ("appCode", app)] + device()
    put("loginanswer", "ticket-ok", service.call("accessTicket", ticket_fields))
    service.fault("accessTicket", "kick")
    put("loginanswer", "ticket-kicked", service.call("accessTicket", ticket_fields))
    service.fault("accessTicket", "array")
    put("loginanswer", "ticket-array", service.call("accessTicket", ticket_fields))

    new_phone = "13900000123"
    put("signupanswer", "sms-sent",
        service.call("sendSmsCode", [("account", new_phone), ("appCode", app)] + device() +
                     [("type", "ACCOUNT_CREATE")]))
    code = service.control("/__control/sms?phone=" + new_phone)["latest"]
    put("signupanswer", "precreate-ok",
        service.call("preCreateAccount", [("account", new_phone), ("appCode", app)] + device() +
                     [("verificationCode", code)]))
    put("signupanswer", "precreate-wrong-code",
        service.call("preCreateAccount", [("account", new_phone), ("appCode", app)] + device() +
                     [("verificationCode", "000000")]))

    change = [("__accesstoken", token), ("__appcode", app), ("account", phone), ("appCode", app)] + device()
    put("passwordanswer", "change-ok",
        b"\x01" + service.call("changePassword", change + [("newPassword", "demo1234"),
                                                           ("oldPassword", "demo1234")]))
    put("passwordanswer", "change-old-wrong",
        b"\x01" + service.call("changePassword", change + [("newPassword", "demo5678"), ("oldPassword", "bad")]))
    put("passwordanswer", "reset-ok",
        b"\x00" + service.call("resetPassword", [("__accesstoken", token), ("__appcode", app), ("appCode", app)] +
                               device() + [("newPassword", "demo1234")]))
    profile = json.dumps({"name": "林晓雨", "email": "linxiaoyu@yuanhang.example"}, ensure_ascii=False)
    put("passwordanswer", "profile-ok",
        b"\x00" + service.call("modifyProfile", [("__accesstoken", token), ("__appcode", app)] + device() +
                               [("personJson", profile)]))
    service.fault("resetPassword", "http500")
    put("passwordanswer", "reset-http500",
        b"\x02" + service.call("resetPassword", [("__accesstoken", token), ("__appcode", app), ("appCode", app)] +
                               device() + [("newPassword", "demo1234")]))

    put("conferenceconfig", "config-ok", service.call("conferenceConfig", [("configKey", "vcAppConfig")]))
    service.fault("conferenceConfig", "fail", errorCode="500", errorMsg="服务器内部错误")
    put("conferenceconfig", "config-failure", service.call("conferenceConfig", [("configKey", "vcAppConfig")]))

    print_path = urllib.parse.urlparse(SERVICE["printInfoUrl"]).path
    app_id = SERVICE["printAppId"]
    sign = hashlib.md5(f"accountId=10001appId={app_id}".encode()).hexdigest().upper()
    print_body = f"accountId=10001&appId={app_id}&signPc={sign}".encode()
    print_headers = [("Content-Type", SERVICE["contentType"])]
    print_answer = service.send("POST", print_path, print_body, print_headers)
    put("printinfo", "print-ok", print_answer)
    put("printinfo", "print-bad-sign",
        service.send("POST", print_path, print_body.replace(sign.encode(), b"0" * 32), print_headers))
    put("formbody", "print-info", print_body)
    # What the print bridge hands the driver: the answer's "data", indented.
    print_data = json.dumps(json.loads(print_answer)["content"]["data"], indent=4, ensure_ascii=False)
    put("printinforeader", "bridge-print-info", "\x20" + print_data)
    put("printinforeader", "bridge-print-info-bytewise", "\x00" + print_data)

    weather_key = ROOT["weather"]["apiKey"]
    ip = service.send("GET", "/v3/ip?key=" + weather_key)
    put("location", "ip-ok", ip)
    put("location", "ip-bad-key", service.send("GET", "/v3/ip?key=wrong"))
    for city in ("深圳", "北京"):
        query = urllib.parse.urlencode({"key": weather_key, "city": city, "extensions": "all", "output": "JSON"})
        forecast = service.send("GET", "/v3/weather/weatherInfo?" + query)
        name = "shenzhen" if city == "深圳" else "beijing"
        put("weather", f"forecast-{name}", b"\x00" + forecast)
        put("weather", f"forecast-{name}-as-cache", b"\x01" + forecast)
        put("weathercache", f"cache-{name}", forecast)
    put("weather", "forecast-bad-key", b"\x00" + service.send("GET", "/v3/weather/weatherInfo?key=x&city=x"))

    put("appcast", "feed", service.send("GET", "/static/download/linux/appcast.xml"))


def signature_seeds():
    app = SERVICE["appCode"]
    samples = {
        "tokenFromAuthCode": [("appCode", app), ("authCode", "c0ffee")] + device(),
        "companyList": [("__accesstoken", "t0ken"), ("__appcode", app)],
        "authCodeByPassword": [("account", "QUJD+/=="), ("appCode", app)] + device() +
                              [("keyVersion", SERVICE["keyVersion"]), ("password", "REVG+/==")],
        "modifyProfile": [("__accesstoken", "t0ken"), ("__appcode", app)] + device() +
                         [("personJson", '{"name":"林晓雨","title":"A&B=C+D 100%"}')],
        "conferenceConfig": [("configKey", "vcAppConfig")],
    }
    for role, fields in samples.items():
        _, headers, body = signed_request(role, fields, FUZZ_NOW)
        text = "".join(f"{n}: {v}\n" for n, v in headers).encode() + b"\n" + body
        put("signature", f"signed-{role}", bytes([ROLES.index(role)]) + text)
        put("formbody", f"posted-{role}", body)


def written_forms():
    # The conference process's stream: messages as the stand-in writes them,
    # back to back, some indented. The first four bytes choose the pieces.
    def message(kind, data, indent=None):
        return json.dumps({"type": kind, "data": data}, ensure_ascii=False, indent=indent,
                          separators=None if indent else (",", ":"))
    beat = message(10000, {})
    reply = {"operation": "sharestart", "success": True, "errorCode": 0, "errorMsg": ""}
    put("ipcstream", "heartbeat-and-reply", b"\x05\x11\x01\x3f" + (beat + message(10001, reply)).encode())
    put("ipcstream", "indented-replies", b"\x3f\x3f\x3f\x3f" + (
        message(10001, {"operation": "conferencestart", "success": True, "errorCode": 0, "errorMsg": ""}, 4) +
        "\n" + message(10001, {"operation": "sharestop", "success": False, "errorCode": 3,
                              "errorMsg": "not sharing"}, 4)).encode())
    put("ipcstream", "notification-taken-over", b"\x02\x03\x05\x07" + (
        message(10002, {"module": "projection", "errorCode": 81001, "errorMsg": "bye"}) +
        message(10002, {"module": "conference", "errorCode": 82000, "errorMsg": "会议已结束"})).encode())
    put("ipcstream", "garbage-between", b"\x81\x01\x01\x01" + ("xx" + beat + "oops]" +
                                                            message(10001, reply)).encode())

    for name, text in {"close": "close", "notice": "updateAvaliable", "no-notice": "updateUnAvaliable",
                       "activate": "activate /usr/bin/vantelor --minimized", "blank": "   "}.items():
        put("localcommand", name, text)

    for name in ("local.json",):
        with open(os.path.join(SOURCE, "config", name), "rb") as f:
            put("deploymentfile", name.replace(".json", ""), f.read())

    lines = {"project": "P2PDS/1 PROJECT", "share": "P2PDS/1 SHARE",
             "share-named": "P2PDS/1 SHARE " + base64.b64encode("林晓雨".encode()).decode(),
             "accept": "ACCEPT", "busy": "BUSY", "reject": "REJECT 2", "reject-crlf": "REJECT 1\r"}
    for name, line in lines.items():
        put("controlline", name, line)

    def frame(kind, flags, payload=b""):
        return b"VF" + bytes([kind, flags]) + struct.pack(">I", len(payload)) + payload
    unit = b"\x00\x00\x00\x01\x67\x42\xc0\x1f" + b"\x00\x00\x00\x01\x65\x88\x84\x00"
    stream = frame(1, 1, unit) + frame(3, 0) + frame(1, 0, unit[:8]) + frame(2, 0)
    put("receiverinput", "project-and-stream", b"P2PDS/1 PROJECT\n" + stream)
    put("receiverinput", "share-named-and-stream",
        ("P2PDS/1 SHARE " + base64.b64encode("林晓雨".encode()).decode() + "\n").encode() + stream)
    put("receiverinput", "project-key-frame-request", b"P2PDS/1 PROJECT\r\n" + frame(4, 0) + frame(1, 1, unit))

    put("meetingrooms", "register", b"\x00" + json.dumps(
        {"name": "三楼大会议室", "address": "192.0.2.20", "port": 7700}, ensure_ascii=False).encode())
    put("meetingrooms", "register-bad-address", b"\x00" + json.dumps(
        {"name": "Room", "address": "192.0.2.256", "port": 7700}).encode())
    put("meetingrooms", "renew", b"\x01" + json.dumps({"code": "k7pq"}).encode())
    put("meetingrooms", "lookup", b"\x02code=K7PQ")
    put("meetingrooms", "lookup-escaped", b"\x02code=%4B7pq&x=1")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    service = Service(sys.argv[1])
    try:
        capture(service)
    finally:
        service.stop()
    signature_seeds()
    written_forms()
    for target, files in sorted(written.items()):
        directory = os.path.join(CORPUS, target)
        os.makedirs(directory, exist_ok=True)
        for old in os.listdir(directory):
            if not old.startswith("regression-"):
                os.remove(os.path.join(directory, old))
        for name, data in files.items():
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)
        print(f"{target}: {len(files)} files")


if __name__ == "__main__":
    main()

"""A short walk through the emulator's own answers: sign-in, paging, pictures, faults.
The program's tests exercise it far more; this only guards the emulator against itself."""

import http.client
import json
import os
import ssl
import subprocess
import sys
import urllib.request
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BASE = int(os.environ.get("PICLADE_SELFTEST_PORT_BASE", "49080"))


def start():
    process = subprocess.Popen([sys.executable, "-m", "tools.emulator", "--port-base", str(BASE)],
                               cwd=ROOT, stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    if not line.startswith("READY "):
        process.kill()
        raise SystemExit("emulator did not start: " + line)
    return process, json.loads(line[6:])


def get(address, path, headers=None, tls=None):
    connection = (http.client.HTTPSConnection(*address.split(":"), context=tls, timeout=10) if tls
                  else http.client.HTTPConnection(*address.split(":"), timeout=10))
    connection.request("GET", path, headers=headers or {})
    response = connection.getresponse()
    try:
        body = response.read()
    except http.client.IncompleteRead as partial:
        body = partial.partial
        response.incomplete = True
    connection.close()
    return response, body


def jsonp(body):
    text = body.decode("ascii")
    return json.loads(text[text.index("(") + 1: text.rindex(")")])


def main():
    process, hosts = start()
    tls = ssl.create_default_context(cafile=hosts["ca"])
    results = []

    def check(name, condition):
        results.append(condition)
        print(("ok   " if condition else "FAIL ") + name)

    try:
        sso = hosts["sso"]
        _, body = get(sso, "/sso/qrcode/check?entry=weibo&qrid=&callback=cb", tls=tls)
        check("unknown code", jsonp(body)["retcode"] == 50114005)
        _, body = get(sso, "/sso/qrcode/image?entry=weibo&size=180&callback=STK_1", tls=tls)
        image = jsonp(body)
        qrid = image["data"]["qrid"]
        check("qr image answer", image["retcode"] == 20000000 and image["msg"] == "succ")
        codes = [jsonp(get(sso, f"/sso/qrcode/check?entry=weibo&qrid={qrid}&callback=cb", tls=tls)[1])
                 for _ in range(6)]
        check("waiting, scanned, confirmed", [c["retcode"] for c in codes] ==
              [50114001, 50114001, 50114002, 50114002, 50114002, 20000000])
        alt = codes[-1]["data"]["alt"]
        _, body = get(sso, f"/sso/login.php?entry=weibo&returntype=TEXT&alt={alt}&callback=cb", tls=tls)
        cross = jsonp(body)["crossDomainUrlList"][2]
        check("used code", jsonp(get(sso, f"/sso/qrcode/check?qrid={qrid}&callback=cb", tls=tls)[1])["retcode"] == 50114004)
        split = cross.split("/", 3)
        first, _ = get(split[2], "/" + split[3])
        check("cross-domain redirect", first.status == 302)
        final, _ = get(split[2], first.getheader("Location"))
        cookies = [value.split(";")[0] for name, value in final.getheaders() if name.lower() == "set-cookie"]
        check("session cookies on the final answer", any(c.startswith("SUB=") for c in cookies))
        cookie = "; ".join(cookies)
        _, page = get(hosts["main"], "/", {"Cookie": cookie})
        check("signed-in markers", "$CONFIG['uid']='2000000001';" in page.decode("utf-8"))
        _, page = get(hosts["main"], "/u/1000000002?from=myfollow_all", {"Cookie": cookie})
        check("homepage markers", "$CONFIG['oid']='1000000002';" in page.decode("utf-8"))

        _, body = get(hosts["photos"], "/albums/get_all?uid=1000000002&page=1&count=20", {"Cookie": cookie})
        first_page = json.loads(body)
        _, body = get(hosts["photos"], "/albums/get_all?uid=1000000002&page=2&count=20", {"Cookie": cookie})
        check("album paging", first_page["data"]["total"] == 25 and len(first_page["data"]["album_list"]) == 20
              and len(json.loads(body)["data"]["album_list"]) == 5)
        check("answers are ASCII", all(b < 128 for b in body))
        _, body = get(hosts["photos"], "/photos/get_all?uid=1000000001&album_id=3550000002&count=32&page=2&type=",
                      {"Cookie": cookie})
        photo = json.loads(body)["data"]["photo_list"]
        check("photo paging", len(photo) == 1)
        name = photo[0]["pic_name"]
        large = get(hosts["images"], "/large/" + name)[1]
        small = get(hosts["images"], "/small/" + name)[1]
        check("pictures differ by size", large.startswith(b"\x89PNG") and small.startswith(b"\x89PNG") and large != small)
        _, body = get(hosts["photos"], "/albums/get_all?uid=1000000001&page=1&count=20")
        check("no session, no albums", json.loads(body)["result"] is False)

        get(hosts["control"], "/faults?fail_first=1")
        failed, _ = get(hosts["images"], "/mw690/" + name)
        retried, _ = get(hosts["images"], "/mw690/" + name)
        check("fail_first", failed.status == 500 and retried.status == 200)
        get(hosts["control"], "/reset")
        get(hosts["control"], "/faults?drop_rate=1")
        dropped, partial = get(hosts["images"], "/mw1024/" + name)
        check("dropped body", getattr(dropped, "incomplete", False) and len(partial) < len(large))
        get(hosts["control"], "/reset")

        get(hosts["control"], "/faults?limit_count=2&retry_after=1")
        statuses = [get(hosts["images"], "/mw690/" + name) for _ in range(3)]
        check("limit_count with Retry-After", [r.status for r, _ in statuses] == [418, 418, 200]
              and statuses[0][0].getheader("Retry-After") == "1")
        get(hosts["control"], "/reset")
        get(hosts["control"], "/faults?limit_ms=60000")
        limited, _ = get(hosts["images"], "/mw690/" + name)
        check("limit_ms without Retry-After", limited.status == 418 and limited.getheader("Retry-After") is None)
        get(hosts["control"], "/reset")
        get(hosts["control"], "/faults?limit_every=2&limit_ms=60000")
        statuses = [get(hosts["images"], "/mw690/" + name)[0].status for _ in range(3)]
        check("limit_every", statuses == [200, 200, 418])
        get(hosts["control"], "/reset")
        list_path = "/photos/get_all?uid=1000000001&album_id=3550000002&count=32&page=2&type="
        get(hosts["control"], "/faults?scope=pages&limit_count=1&fail_page=2&fail_page_times=1")
        statuses = [get(hosts["photos"], list_path, {"Cookie": cookie})[0].status for _ in range(3)]
        picture, _ = get(hosts["images"], "/mw690/" + name)
        check("page limits and failures", statuses == [500, 418, 200] and picture.status == 200)
        get(hosts["control"], "/reset")
        get(hosts["control"], "/faults?need_referer=1")
        refused, _ = get(hosts["images"], "/mw690/" + name)
        referred, _ = get(hosts["images"], "/mw690/" + name, {"Referer": f"http://{hosts['main']}/"})
        check("need_referer", refused.status == 403 and referred.status == 200)
        get(hosts["control"], "/reset")
        try:
            untrusted_ok = get(hosts["sso_untrusted"], "/sso/qrcode/check?qrid=&callback=cb", tls=tls)[0].status == 200
        except ssl.SSLError:
            untrusted_ok = False
        check("untrusted certificate refused", not untrusted_ok)
    finally:
        process.terminate()
        process.wait(10)

    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())

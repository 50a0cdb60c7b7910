"""Checks a downloaded album against the image host: the expected number of pictures, each
byte-for-byte what the host serves under its name (the part after the file name's last "-").
The album's record and journal (hidden, their names begin with ".") are no pictures.

    python3 tools/check_album.py ALBUM_FOLDER IMAGE_BASE_URL COUNT [EVERY]

With EVERY, every picture is counted and every EVERY-th one (by name) compared: a sample of a
big album.
"""

import os
import sys
import urllib.request


def main(folder, base_url, expected, every=1):
    names = sorted(name for name in os.listdir(folder) if not name.startswith(".")) if os.path.isdir(folder) else []
    bad = []
    for name in names[::every]:
        pic_name = name.rsplit("-", 1)[-1]
        with urllib.request.urlopen(base_url + urllib.request.quote(pic_name)) as answer:
            wanted = answer.read()
        with open(os.path.join(folder, name), "rb") as saved:
            if saved.read() != wanted:
                bad.append(name)
    compared = len(names[::every])
    print(f"{len(names)} pictures, {compared - len(bad)} of {compared} compared intact, {expected} expected")
    for name in bad:
        print(f"  differs from the image host: {name}")
    return 0 if len(names) == expected and not bad else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 1))

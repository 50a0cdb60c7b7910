"""Checks a downloaded album against the image host: the expected number of pictures, each
byte-for-byte what the host serves under its name (the part after the file name's last "-").
The album's record and journal (hidden, their names begin with ".") are no pictures.

    python3 tools/check_album.py ALBUM_FOLDER IMAGE_BASE_URL COUNT
"""

import os
import sys
import urllib.request


def main(folder, base_url, expected):
    names = sorted(name for name in os.listdir(folder) if not name.startswith(".")) if os.path.isdir(folder) else []
    bad = []
    for name in names:
        pic_name = name.rsplit("-", 1)[-1]
        with urllib.request.urlopen(base_url + urllib.request.quote(pic_name)) as answer:
            wanted = answer.read()
        with open(os.path.join(folder, name), "rb") as saved:
            if saved.read() != wanted:
                bad.append(name)
    print(f"{len(names)} pictures, {len(names) - len(bad)} intact, {expected} expected")
    for name in bad:
        print(f"  differs from the image host: {name}")
    return 0 if len(names) == expected and not bad else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3])))

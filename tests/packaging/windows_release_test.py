#!/usr/bin/env python3
"""Checks the Windows release that `package` made, without running Windows code.

The zip: exactly the two programs and the README. The programs: 32-bit, GUI and
console, standing alone (no compiler runtime DLL beside them). The installer (read with
7-Zip, and its script read from the NSIS header): the same programs byte for byte, the
firewall rule of the README added for both programs, and an uninstaller that removes
the rule, the files, the Start-menu entry and the uninstall entry again.
"""

import argparse
import lzma
import re
import shlex
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

PROGRAMS = ("emcb-configurator.exe", "emcb-config.exe")
ZIP_FILES = {*PROGRAMS, "README.txt"}
SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "gdi32.dll", "iphlpapi.dll", "kernel32.dll",
               "msvcrt.dll", "user32.dll", "ws2_32.dll", "shell32.dll", "ole32.dll"}
SUBSYSTEMS = {"emcb-configurator.exe": "Windows GUI", "emcb-config.exe": "Windows CUI"}

NSIS_SIGNATURE = b"\xef\xbe\xad\xdeNullsoftInst"
FIRST_HEADER_SIZE = 28
FIRST_HEADER_LENGTHS = 20  # offset of the header's length in the first header
NSIS_CODES = range(1, 5)   # language, shell folder, variable, skip: each takes one word

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def nsis_strings(path):
    """The string table of an NSIS 3 Unicode installer (solid LZMA), with every
    variable or shell folder written as $X."""
    data = Path(path).read_bytes()
    start = data.find(NSIS_SIGNATURE) - 4
    if start < 0:
        raise ValueError(f"{path}: no NSIS header")
    header_length = struct.unpack_from("<I", data, start + FIRST_HEADER_LENGTHS)[0]
    body = data[start + FIRST_HEADER_SIZE:]
    properties, dictionary = body[0], struct.unpack_from("<I", body, 1)[0]
    decoder = lzma.LZMADecompressor(format=lzma.FORMAT_RAW, filters=[{
        "id": lzma.FILTER_LZMA1, "dict_size": dictionary, "lc": properties % 9,
        "lp": properties // 9 % 5, "pb": properties // 45}])
    header = decoder.decompress(body[5:], max_length=header_length + 4)[4:]
    words = struct.unpack(f"<{len(header) // 2}H", header[:len(header) // 2 * 2])
    strings, current, i = [], [], 0
    while i < len(words):
        word = words[i]
        if word == 0:
            strings.append("".join(current))
            current = []
        elif word in NSIS_CODES:
            current.append("$X")
            i += 1  # the code's argument
        else:
            current.append(chr(word))
        i += 1
    return strings


def netsh_options(command):
    """{option: value} of a netsh command, after its verb words."""
    options = {}
    for token in shlex.split(command.replace("\\", "/")):
        if "=" in token:
            key, value = token.split("=", 1)
            options[key.lower()] = value
    return options


def readme_commands(text, verb):
    return [line.strip() for line in text.splitlines()
            if line.strip().startswith(f"netsh advfirewall firewall {verb} rule")]


def check_programs(folder):
    for name in PROGRAMS:
        dump = subprocess.run([args.objdump, "-p", str(folder / name)], check=True,
                              capture_output=True, text=True).stdout
        check("file format pei-i386" in dump, f"{name}: not a 32-bit Windows program")
        subsystem = re.search(r"^Subsystem\s+\S+\s+\((.*)\)", dump, re.M)
        check(subsystem and subsystem.group(1) == SUBSYSTEMS[name],
              f"{name}: subsystem {subsystem.group(1) if subsystem else '?'}")
        dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
        check(dlls and dlls <= SYSTEM_DLLS,
              f"{name}: needs DLLs beyond Windows' own: {sorted(dlls - SYSTEM_DLLS)}")


def check_zip(stage):
    with zipfile.ZipFile(args.zip) as archive:
        names = set(archive.namelist())
        check(names == ZIP_FILES, f"zip holds {sorted(names)}, expected {sorted(ZIP_FILES)}")
        for name in names & ZIP_FILES:
            check(archive.read(name) == (stage / name).read_bytes(), f"zip: {name} differs")
        return archive.read("README.txt").decode("utf-8") if "README.txt" in names else ""


def check_firewall_rules(readme, installer, uninstaller):
    added = readme_commands(readme, "add")
    deleted = readme_commands(readme, "delete")
    if not check(len(added) == 2 and len(deleted) == 1,
                 "the README gives no add command per program and one delete command"):
        return
    readme_rules = {Path(netsh_options(c)["program"]).name: netsh_options(c) for c in added}
    check(set(readme_rules) == set(PROGRAMS), f"README rules for {sorted(readme_rules)}")
    installer_rules = {}
    for command in readme_commands("\n".join(installer), "add"):
        options = netsh_options(command)
        installer_rules[Path(options.get("program", "")).name] = options
    check(set(installer_rules) == set(PROGRAMS),
          f"the installer adds rules for {sorted(installer_rules)}")
    for name in set(readme_rules) & set(installer_rules):
        ours = {k: v for k, v in installer_rules[name].items() if k != "program"}
        theirs = {k: v for k, v in readme_rules[name].items() if k != "program"}
        check(ours == theirs, f"rule for {name}: installer {ours}, README {theirs}")
        check(installer_rules[name]["program"] == f"$X/{name}",
              f"rule for {name} names {installer_rules[name]['program']}")
        check(theirs.get("protocol", "").upper() == "UDP" and theirs.get("dir") == "in"
              and theirs.get("action") == "allow", f"rule for {name} is not inbound UDP allow")
    removed = readme_commands("\n".join(uninstaller), "delete")
    check([netsh_options(c) for c in removed] == [netsh_options(deleted[0])],
          f"the uninstaller removes {removed}, the README {deleted}")


def check_installer(stage, folder):
    listing = subprocess.run(["7z", "l", "-slt", args.setup], check=True, capture_output=True,
                             text=True).stdout
    paths = set(re.findall(r"^Path = (.*)$", listing, re.M)[1:])
    for name in ZIP_FILES | {"uninstall.exe"}:
        check(name in paths, f"the installer does not hold {name}")
    subprocess.run(["7z", "x", "-y", f"-o{folder}", args.setup], check=True,
                   capture_output=True)
    for name in ZIP_FILES:
        check((folder / name).read_bytes() == (stage / name).read_bytes(),
              f"installer: {name} differs from the release's")
    installer = nsis_strings(args.setup)
    uninstaller = nsis_strings(folder / "uninstall.exe")

    # Everything the installer leaves on the machine, the uninstaller names again.
    shortcuts = [s for s in installer if s.endswith(".lnk")]
    keys = [s for s in installer if "\\CurrentVersion\\Uninstall\\" in s]
    check(len(shortcuts) == 1, f"Start-menu entries: {shortcuts}")
    check(len(keys) == 1, f"uninstall entries: {keys}")
    for wanted in [*(f"$X\\{name}" for name in ZIP_FILES | {"uninstall.exe"}), *shortcuts, *keys]:
        check(wanted in uninstaller, f"the uninstaller leaves {wanted}")
    return installer, uninstaller


def main():
    stage = Path(args.stage)
    check_programs(stage)
    readme = check_zip(stage)
    with tempfile.TemporaryDirectory() as temporary:
        installer, uninstaller = check_installer(stage, Path(temporary))
    check_firewall_rules(readme, installer, uninstaller)
    for message in failures:
        print("FAILED:", message)
    if failures:
        return 1
    for path in (args.zip, args.setup):
        print(f"{Path(path).name}: {Path(path).stat().st_size} bytes")
    print("The release holds both programs; the installer adds and removes the README's rule.")
    return 0


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--setup", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()
    sys.exit(main())

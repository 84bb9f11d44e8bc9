#!/usr/bin/env python3
"""Checks the Windows sources with clang as the 32-bit build compiles them,
for casts that change a function's calling convention: on 32-bit Windows a
call through such a pointer leaves the caller's stack wrong, and GCC does not
warn of it. Reads the compile database of the `windows` preset (its defines
and include paths) and the C++ headers of its MinGW-w64 compiler.
  calling_conventions.py build/windows/compile_commands.json
"""
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys

TARGET = "i686-w64-mingw32"
# The files only the Windows build has, and the sink the platform calls.
WINDOWS_FILE = re.compile(r"^(src|tests)/(.*/)?(win32|com)/[^/]+\.cpp$|^src/net/[^/]+\.cpp$")


def compiler_paths(compiler):
    """The compiler's C++ header folders and its sysroot (where <triple>/include is)."""
    run = subprocess.run([compiler, "-x", "c++", "-E", "-v", "-"], input="", capture_output=True, text=True,
                         check=True)
    folders, inside = [], False
    for line in run.stderr.splitlines():
        if line.startswith("#include <...> search starts here"):
            inside = True
        elif line.startswith("End of search list"):
            break
        elif inside:
            folders.append(os.path.realpath(line.strip()))
    cxx = [f for f in folders if "/include/c++" in f]
    roots = [os.path.dirname(f) for f in folders if f.endswith(f"/{TARGET}/include")]
    if not cxx or not roots:
        sys.exit(f"{compiler}: no C++ headers or sysroot among {folders}")
    return cxx, roots[0]


def clang_command(entry, cxx, sysroot):
    words = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
    kept, i = [], 1
    while i < len(words):
        word = words[i]
        if word in ("-I", "-isystem", "-D", "-include"):
            kept += words[i:i + 2]
            i += 2
            continue
        if word.startswith(("-D", "-I", "-std=", "-isystem")):
            kept.append(word)
        i += 1
    command = ["clang++", f"--target={TARGET}", f"--sysroot={sysroot}", "-nostdinc++"]
    for folder in cxx:
        command += ["-isystem", folder]
    command += kept
    command += ["-fsyntax-only", "-Wno-everything", "-Wcast-calling-convention",
                "-Werror=cast-calling-convention", entry["file"]]
    return command


def main():
    database = sys.argv[1] if len(sys.argv) > 1 else "build/windows/compile_commands.json"
    with open(database, encoding="utf-8") as f:
        entries = json.load(f)
    top = os.getcwd()
    chosen = [e for e in entries if WINDOWS_FILE.match(os.path.relpath(os.path.join(e["directory"], e["file"]), top))]
    if not chosen:
        sys.exit(f"{database}: no Windows sources")
    compiler = shlex.split(chosen[0]["command"])[0] if "command" in chosen[0] else chosen[0]["arguments"][0]
    cxx, sysroot = compiler_paths(compiler)

    def check(entry):
        run = subprocess.run(clang_command(entry, cxx, sysroot), cwd=entry["directory"], capture_output=True,
                             text=True)
        return run.returncode, run.stdout + run.stderr

    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count()) as pool:
        for code, output in pool.map(check, chosen):
            if code != 0:
                failed += 1
                sys.stderr.write(output)
    print(f"Calling conventions: {len(chosen)} Windows sources checked, {failed} with problems.")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Builds the MSI of the Windows program from its install folder.

Usage: build_msi.py STAGE_DIR OUT.msi VERSION ICON.ico WXS

The install folder is checked first: every DLL that its programs and plugins
import is either beside them or one of Windows' own (as Wine provides them),
and every DLL in it is imported by something, so nothing is missing and
nothing rides along unused. Then every file but orvella.exe (which orvella.wxs
lists itself, with its shortcut and Run value) becomes one component of the
package, under a GUID derived from its path, and wixl builds the MSI."""
import os
import pathlib
import subprocess
import sys
import tempfile
import uuid

OBJDUMP = "x86_64-w64-mingw32-objdump"
# Windows' own DLLs: the names Wine's 64-bit Windows provides.
WINE_DLLS = pathlib.Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
# The program and the plugins Qt loads by name (platforms/, styles/).
ROOTS = ("orvella.exe", "platforms", "styles")
# API set names, which the loader maps to Windows' own DLLs: no file has them.
API_SETS = ("api-ms-win-", "ext-ms-win-")
NAMESPACE = uuid.UUID("aa604ac1-5aa1-4853-a99d-e45bd8edf1f9")


def imports(path):
    out = subprocess.run([OBJDUMP, "-p", str(path)], check=True, capture_output=True, text=True).stdout
    return [line.split(":", 1)[1].strip() for line in out.splitlines() if line.strip().startswith("DLL Name:")]


def check_imports(stage):
    system = {p.name.lower() for p in WINE_DLLS.glob("*.dll")}
    if not system:
        raise SystemExit(f"build_msi.py: no Windows DLLs found in {WINE_DLLS} (package wine64)")
    files = sorted(p for p in stage.rglob("*") if p.is_file())
    beside = {p.name.lower(): p for p in files if p.parent == stage}
    roots = [p for p in files if p.relative_to(stage).parts[0] in ROOTS]
    needed, queue, problems = set(), list(roots), []
    while queue:
        module = queue.pop()
        for name in imports(module):
            key = name.lower()
            if key in beside:
                if key not in needed:
                    needed.add(key)
                    queue.append(beside[key])
            elif key not in system and not key.startswith(API_SETS):
                problems.append(f"{module.relative_to(stage)} needs {name}, which is not in the folder")
    for key, path in beside.items():
        if key.endswith(".dll") and key not in needed:
            problems.append(f"{path.name} is in the folder, but nothing imports it")
    if problems:
        raise SystemExit("build_msi.py: the install folder is not complete and lean:\n  " + "\n  ".join(problems))
    return files


def ident(relative):
    return "f" + uuid.uuid5(NAMESPACE, relative).hex


def write_includes(stage, files, work):
    components, refs = [], []
    by_dir = {}
    for path in files:
        relative = path.relative_to(stage).as_posix()
        if relative == "orvella.exe":
            continue
        by_dir.setdefault(path.parent.relative_to(stage).as_posix(), []).append((relative, path))
    for folder in sorted(by_dir):
        entries = []
        for relative, path in by_dir[folder]:
            guid = str(uuid.uuid5(NAMESPACE, "component:" + relative)).upper()
            entries.append(
                f'<Component Id="{ident(relative)}" Guid="{{{guid}}}" Win64="yes">'
                f'<File Id="{ident(relative)}" Name="{path.name}" Source="stage/{relative}" KeyPath="yes"/></Component>')
            refs.append(f'<ComponentRef Id="{ident(relative)}"/>')
        if folder == ".":
            components += entries
        else:
            components.append(f'<Directory Id="{ident(folder)}" Name="{folder}">' + "".join(entries) + "</Directory>")
    (work / "files.wxi").write_text('<?xml version="1.0" encoding="utf-8"?>\n<Include>\n' + "\n".join(components) +
                                   "\n</Include>\n")
    (work / "refs.wxi").write_text('<?xml version="1.0" encoding="utf-8"?>\n<Include>\n' + "\n".join(refs) +
                                  "\n</Include>\n")


def main():
    stage, out, version, icon, wxs = pathlib.Path(sys.argv[1]), *sys.argv[2:6]
    files = check_imports(stage)
    out = os.path.abspath(out)
    # wixl takes the files by paths relative to where it runs.
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        write_includes(stage, files, work)
        (work / "stage").symlink_to(stage.resolve())
        (work / "orvella.ico").symlink_to(os.path.abspath(icon))
        subprocess.run(["wixl", "-a", "x64", "-I", str(work), "-D", f"Version={version}", "-o", out + ".new",
                        os.path.abspath(wxs)], check=True, cwd=work)
    os.replace(out + ".new", out)


main()

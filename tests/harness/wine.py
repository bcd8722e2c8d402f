"""Runs Windows programs of the test build in the test run's Wine prefix."""

import os
import subprocess
import tempfile

HARNESS_DIR = os.environ.get("REPAIR_HARNESS_DIR", "")
BIN_DIR = os.environ.get("REPAIR_BIN_DIR", "")


def environment():
    """The Linux environment for a Wine call: this run's prefix, its Wine
    loader (REPAIR_WINE: wine64, or wine in a 32-bit prefix) and display."""
    env = dict(os.environ)
    path = os.path.join(HARNESS_DIR, "env")
    if not os.path.isfile(path):
        raise RuntimeError(f"no Wine environment at {path}; the harness.start test sets it up")
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("export "):
                name, _, value = line[len("export "):].partition("=")
                env[name] = value.strip("'")
    return env


def prefix():
    return environment()["WINEPREFIX"]


def drive_c(*parts):
    """Linux path of a file on drive C: of the prefix."""
    return os.path.join(prefix(), "drive_c", *parts)


def to_windows(linux_path):
    """Windows path of a Linux file: Wine maps / to drive Z:."""
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def run(args, timeout=120, extra_env=None):
    """Runs the prefix's Wine loader with args; output goes through a file (Wine's services
    can hold a pipe open). Returns (Linux exit status, output)."""
    env = environment()
    env.update(extra_env or {})
    with tempfile.TemporaryFile() as out:
        completed = subprocess.run(
            ["timeout", "-k", "5", str(timeout), env["REPAIR_WINE"], *args],
            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, env=env, check=False)
        out.seek(0)
        return completed.returncode, out.read().decode("utf-8", "replace")


def start(args, timeout=120, extra_env=None):
    """Starts the prefix's Wine loader with args in the background and returns the Popen;
    its output is discarded (Wine's services can hold a pipe open)."""
    env = environment()
    env.update(extra_env or {})
    return subprocess.Popen(["timeout", "-k", "5", str(timeout), env["REPAIR_WINE"], *args],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)


def crop_pixels(path, box):
    """The raw RGB bytes of a rectangle (x, y, width, height) of a screenshot."""
    x, y, width, height = box
    return subprocess.run(["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "rgb:-"],
                          stdin=subprocess.DEVNULL, capture_output=True, check=True, timeout=30).stdout


def screenshot(path):
    """Saves the whole Xvfb screen as a PNG."""
    env = environment()
    subprocess.run(["import", "-display", env["DISPLAY"], "-window", "root", path],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=env, check=False, timeout=30)

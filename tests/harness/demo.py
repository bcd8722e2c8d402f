"""Runs the real bootstrapper once under Wine against a loopback server with
a stand-in repair tool, takes a screenshot mid-download, and says what happened."""

import os
import subprocess
import sys
import time

from harness import wine
from harness.bootstrapper import (TOOL_X86, Scenario, quote, read_record, set_runtime_on_disk,
                                  standin_bytes)
from harness.http_server import DownloadServer, Payload

PORT = 47801


def main(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    shot = os.path.join(out_dir, "window.png")
    set_runtime_on_disk(True)
    scenario = Scenario("demo")
    program = scenario.install_program("赤砂回廊")
    record = scenario.expect_standin(TOOL_X86, 0)
    client = "D:\\Games\\赤砂回廊"
    payload = Payload(standin_bytes() + bytes(6 * 1024 * 1024), "slow", seconds=6)

    print(f"serving {TOOL_X86} on http://127.0.0.1:{PORT} (6 MB, paced over 6 s)")
    print(f"running {program} --client-dir \"{client}\"")
    with DownloadServer(PORT, {"/" + TOOL_X86: payload}) as server:
        run = scenario.start(quote(program) + " --client-dir " + quote(client))
        taken = False
        while run.process.poll() is None:
            if not taken and os.path.exists(run.out):
                with open(run.out, encoding="utf-8") as f:
                    lines = [l for l in f.read().splitlines() if l.startswith("window") and l.endswith("%")]
                percents = [int(l.rsplit(" ", 1)[-1][:-1]) for l in lines]
                if percents and percents[-1] >= 30:
                    full = os.path.join(out_dir, "screen.png")
                    wine.screenshot(full)
                    subprocess.run(["convert", full, "-crop", "500x210+150+195", "+repage", shot], check=False)
                    taken = True
            time.sleep(0.1)
        outcome = run.wait()
        requests = server.requests

    print(f"requests served: {requests}")
    for box in outcome.boxes:
        print(f"message box: {box.text}")
    print(f"exit code: {outcome.exit_code}")
    seen = read_record(record)
    if seen:
        print(f"repair tool command line: {seen[0]}")
        print(f"repair tool arguments: {seen[1][1:]}")
    print(f"screenshot: {shot if taken else 'not taken'}")
    scenario.close()
    return 0 if outcome.exit_code == 0 and taken else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

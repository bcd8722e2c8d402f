"""scripts/setup against a package archive that answers badly, with apt-get
and dpkg-query replaced by stubs first on PATH. The machine's own state
(the i386 architecture, the backports source, the binfmt handler) is the
one the test run's own setup left in place."""

import os
import shutil
import subprocess
import tempfile
import unittest

SETUP = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "setup")
INDEX = "bookworm-security/main/binary-i386/Packages.xz"
APT_GET = f"""#!/bin/sh
echo "$*" >>"$STUB_LOG"
case "$1" in
  update)
    n=$(($(cat "$STUB_LOG.updates" 2>/dev/null || echo 0) + 1)); echo $n >"$STUB_LOG.updates"
    if [ "$STUB_UPDATE_FAILURES" = always ] || [ "$n" -le "$STUB_UPDATE_FAILURES" ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/{INDEX}  File has unexpected size \
(374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  install)
    [ "$STUB_INSTALL_FAILS" = yes ] && echo "E: Unable to correct problems, you have held broken packages." && exit 100 ;;
esac
exit 0
"""
# Everything is installed, at a backported version, except what STUB_MISSING names.
DPKG_QUERY = """#!/bin/sh
for name; do :; done
case " $STUB_MISSING " in *" $name "*) exit 1 ;; esac
case "$2" in *Status*) echo "install ok installed 1:10.0.2~bpo12+1" ;; *) echo "1:10.0.2~bpo12+1" ;; esac
"""


class SetupTest(unittest.TestCase):
    def setUp(self):
        self.stubs = tempfile.mkdtemp(prefix="setup-stubs-")
        self.addCleanup(shutil.rmtree, self.stubs, True)
        for name, text in (("apt-get", APT_GET), ("dpkg-query", DPKG_QUERY)):
            with open(os.path.join(self.stubs, name), "w", encoding="utf-8") as f:
                f.write(text)
            os.chmod(os.path.join(self.stubs, name), 0o755)
        self.log = os.path.join(self.stubs, "calls")

    def setup(self, missing="", update_failures="0", install_fails="no"):
        env = {**os.environ, "PATH": self.stubs + os.pathsep + os.environ["PATH"], "STUB_LOG": self.log,
               "STUB_MISSING": missing, "STUB_UPDATE_FAILURES": update_failures, "STUB_INSTALL_FAILS": install_fails,
               "REPAIR_SETUP_PAUSE_SCALE": "0", "REPAIR_SETUP_STATE": self.stubs}
        done = subprocess.run(["bash", SETUP], env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=120, check=False)
        calls = []
        if os.path.exists(self.log):
            with open(self.log, encoding="utf-8") as f:
                calls = f.read().splitlines()
        return done.returncode, (done.stdout + done.stderr).strip(), calls

    def test_an_update_that_fails_twice_is_tried_again_and_the_install_goes_on(self):
        status, output, calls = self.setup(missing="cmake", update_failures="2")
        self.assertEqual(status, 0, output)
        self.assertEqual([c.split()[0] for c in calls], ["update"] * 3 + ["install"], output)
        self.assertIn("cmake", calls[-1])
        self.assertIn("Acquire::Retries", calls[-1], "apt retries single downloads too")

    def test_an_archive_that_stays_inconsistent_ends_with_our_own_line_naming_the_index(self):
        status, output, calls = self.setup(missing="wine32:i386", update_failures="always", install_fails="yes")
        self.assertNotEqual(status, 0, output)
        self.assertEqual([c.split()[0] for c in calls][:6], ["update"] * 5 + ["install"], "the install is tried anyway")
        self.assertIn("--download-only", calls[-1], "then the private 32-bit Wine, which cannot be had either")
        last = output.splitlines()[-1]
        self.assertTrue(last.startswith("setup: "), last)
        self.assertIn(INDEX, last)
        self.assertIn("inconsistent", last)
        self.assertIn("run scripts/setup again later", last)

    def test_with_everything_installed_nothing_is_said_or_fetched(self):
        status, output, calls = self.setup()
        self.assertEqual((status, output, calls), (0, "", []))


if __name__ == "__main__":
    unittest.main(verbosity=2)

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs end-to-end scenarios against the real program in a private X session.

usage: tallyvox_e2e.py --binary build/tallyvox [--artifacts DIR] [SCENARIO ...]

Exit code 0 when every scenario passed, 1 when one failed, 77 (skipped) when no X server
could be started at all.
"""

import argparse
import os
import shutil
import sys
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
try:
    import pyatspi  # noqa: F401 - the screen reader of the accessibility scenario
except ImportError:
    # The interpreter CMake found may be a private one without Debian's python3-pyatspi.
    SYSTEM = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM) and os.access(SYSTEM, os.X_OK):
        os.execv(SYSTEM, [SYSTEM] + sys.argv)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from scenarios import SCENARIOS, make_app  # noqa: E402
from xsession import SKIP, Failed, Skipped, XSession, make_root  # noqa: E402


def run_one(name, binary, artifacts):
    root = make_root(f"tallyvox-e2e-{name}-")
    session = XSession(root)
    app = None
    try:
        session.start(tray=getattr(SCENARIOS[name], "tray", True))
        app = make_app(session, binary, root)
        SCENARIOS[name](session, app, artifacts)
        print(f"PASSED: {name}")
        return "passed"
    except Skipped as e:
        print(f"SKIPPED: {name}: {e}")
        return "skipped"
    except Exception as e:  # noqa: BLE001 - any fault of the run fails the scenario
        print(f"FAILED: {name}: {e}")
        if not isinstance(e, Failed):
            traceback.print_exc()
        keep_evidence(name, session, app, artifacts)
        return "failed"
    finally:
        if app is not None:
            app.kill()
        session.stop()
        shutil.rmtree(root, ignore_errors=True)


def keep_evidence(name, session, app, artifacts):
    os.makedirs(artifacts, exist_ok=True)
    if session.display:
        session.screenshot(os.path.join(artifacts, f"{name}-failed.png"))
    if app is not None:
        log = app.log()
        with open(os.path.join(artifacts, f"{name}-program.log"), "w") as f:
            f.write(log)
        if log.strip():
            print("--- program output ---\n" + log.rstrip())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--artifacts", default=os.path.join(os.getcwd(), "e2e-artifacts"))
    parser.add_argument("scenarios", nargs="*")
    args = parser.parse_args()
    names = args.scenarios or list(SCENARIOS)
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        print(f"unknown scenarios: {', '.join(unknown)}; known: {', '.join(SCENARIOS)}")
        return 2
    if not os.access(args.binary, os.X_OK):
        print(f"FAILED: the program {args.binary} does not exist")
        return 1
    results = [run_one(n, os.path.abspath(args.binary), args.artifacts) for n in names]
    passed, failed, skipped = (results.count(k) for k in ("passed", "failed", "skipped"))
    print(f"e2e: {passed} passed, {failed} failed, {skipped} skipped")
    if failed:
        return 1
    return SKIP if skipped and not passed else 0


if __name__ == "__main__":
    sys.exit(main())

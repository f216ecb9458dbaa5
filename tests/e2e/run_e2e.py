#!/usr/bin/env python3
"""Runs the end-to-end tests against one build of the tool.

  run_e2e.py --tool build/vex_resource_builder --compiler g++ --compiler clang++
  run_e2e.py --platform windows --tool "/usr/lib/wine/wine64 build-win/vex_resource_builder.exe" \
             --compiler "x86_64-w64-mingw32-g++-posix -static" --runner /usr/lib/wine/wine64
"""
import argparse
import os
import shlex
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True, help="command that starts the tool")
    parser.add_argument("--platform", choices=["posix", "windows"], default="posix")
    parser.add_argument("--compiler", action="append", default=[], help="compiler command for the generated code")
    parser.add_argument("--runner", default="", help="command prefix that runs compiled consumers")
    parser.add_argument("--native-tool", default="", help="the native build's tool, compared with a Windows build")
    parser.add_argument("pattern", nargs="*", help="test name patterns (unittest -k)")
    args = parser.parse_args()
    harness.TOOL = shlex.split(args.tool)
    harness.TOOL[0] = os.path.abspath(harness.TOOL[0]) if os.path.exists(harness.TOOL[0]) else harness.TOOL[0]
    if len(harness.TOOL) > 1 and os.path.exists(harness.TOOL[-1]):
        harness.TOOL[-1] = os.path.abspath(harness.TOOL[-1])
    harness.PLATFORM = args.platform
    harness.NATIVE_TOOL = [os.path.abspath(args.native_tool)] if args.native_tool else []
    harness.COMPILERS = [(shlex.split(c)[0].split("/")[-1], shlex.split(c), shlex.split(args.runner))
                         for c in args.compiler]
    os.environ.setdefault("WINEDEBUG", "-all")
    if args.platform == "windows":
        harness.keep_wineserver(shlex.split(args.runner))
    loader = unittest.TestLoader()
    if args.pattern:
        loader.testNamePatterns = ["*%s*" % p for p in args.pattern]
    suite = loader.discover(os.path.dirname(os.path.abspath(__file__)), pattern="test_*.py")
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

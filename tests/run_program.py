#!/usr/bin/python3
# Runs a program and checks how it ended:
#   run_program.py STATUS ERRORS PROGRAM [ARGUMENT...]
# STATUS is the exit status, or "abort" for the program ending by SIGABRT; ERRORS a regular
# expression that what the program wrote to standard error must match as a whole.
import re
import signal
import subprocess
import sys

status, errors, command = sys.argv[1], sys.argv[2], sys.argv[3:]
run = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.PIPE, timeout=60)
text = run.stderr.decode(errors="replace")
sys.stderr.write(text)
expected = -signal.SIGABRT if status == "abort" else int(status)
if run.returncode != expected:
    sys.exit(f"{command} ended with {run.returncode}, expected {expected}")
if not re.fullmatch(errors, text, re.S):
    sys.exit(f"{command}: standard error does not match {errors!r}")

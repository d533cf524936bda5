"""Runs karvelo-batch for the Processing algorithms: argument lists, JSON progress, cancel, result file."""

import json
import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
import time

DEFAULT_BATCH = "/usr/bin/karvelo-batch"


class BatchError(Exception):
    """karvelo-batch could not be run, or the command failed; the text says why."""


def find_batch(setting=None):
    """The karvelo-batch to run: the setting, else $KARVELO_BATCH, else the installed one, else PATH."""
    for candidate in (setting, os.environ.get("KARVELO_BATCH"), DEFAULT_BATCH, shutil.which("karvelo-batch")):
        if candidate and os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return candidate
    raise BatchError(
        "karvelo-batch was not found: install the karvelo package, or set KARVELO_BATCH "
        "(or the plugin's setting) to the program's path")


_commands_cache = {}


def batch_commands(batch):
    """The command names that `karvelo-batch --help` lists under "Commands:"."""
    if batch not in _commands_cache:
        try:
            text = subprocess.run([batch, "--help"], capture_output=True, text=True, timeout=30).stdout
        except (OSError, subprocess.SubprocessError):
            text = ""
        names = set()
        in_commands = False
        for line in text.splitlines():
            if line.startswith("Commands:"):
                in_commands = True
            elif line and not line.startswith(" "):
                in_commands = False
            elif in_commands and line.startswith("  ") and not line.startswith("   "):
                names.add(line.split()[0])
        _commands_cache[batch] = names
    return _commands_cache[batch]


class Run:
    """What one karvelo-batch run ended with: its exit status and its result file."""

    def __init__(self, status, result, lines):
        self.status = status
        self.result = result      # the --result-json object (None if the program wrote none)
        self.lines = lines        # the JSON lines of standard error, parsed

    @property
    def files(self):
        return list(self.result.get("files", [])) if self.result else []

    @property
    def results(self):
        return (self.result or {}).get("results") or {}


def run_batch(batch, args, workdir, on_progress=None, on_message=None, is_canceled=None, poll=0.1):
    """Runs `batch --workdir WORKDIR --progress json --result-json TMP ARGS...` (no shell).

    on_progress(percent, text) gets each progress line, on_message(kind, text) each message;
    is_canceled() is asked every `poll` seconds: True sends SIGTERM, which stops the step at its
    next row and leaves every earlier result as it was. Raises BatchError when the command fails
    or is cancelled, with the program's own message."""
    os.makedirs(workdir, exist_ok=True)
    fd, result_path = tempfile.mkstemp(prefix="karvelo-result-", suffix=".json")
    os.close(fd)
    os.unlink(result_path)  # the program writes it whole, under its own temporary name first
    argv = [batch, "--workdir", workdir, "--progress", "json", "--result-json", result_path] + [str(a) for a in args]
    try:
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
    except OSError as e:
        raise BatchError("cannot start {}: {}".format(batch, e))
    lines = []
    plain = []
    pending = queue.Queue()

    # The reader only collects; the callbacks run on the caller's thread.
    def read_errors():
        for raw in proc.stderr:
            pending.put(os.fsdecode(raw.rstrip(b"\r\n")))

    def hand_on():
        while True:
            try:
                text = pending.get_nowait()
            except queue.Empty:
                return
            try:
                line = json.loads(text)
            except ValueError:
                plain.append(text)  # a usage error comes before the JSON reporter exists
                continue
            lines.append(line)
            if "kind" in line:
                if on_message:
                    on_message(line["kind"], line.get("message", ""))
            elif on_progress:
                on_progress(line.get("percent", 0), line.get("message", ""))

    reader = threading.Thread(target=read_errors, daemon=True)
    reader.start()
    canceled = False
    while proc.poll() is None:
        hand_on()
        if not canceled and is_canceled and is_canceled():
            canceled = True
            proc.send_signal(signal.SIGTERM)
        time.sleep(poll)
    reader.join(timeout=5)
    hand_on()
    result = None
    try:
        with open(result_path, "r", encoding="utf-8", errors="surrogateescape") as f:
            result = json.load(f)
        os.unlink(result_path)
    except FileNotFoundError:
        pass
    except ValueError as e:
        raise BatchError("{}: the result file of karvelo-batch is no JSON: {}".format(result_path, e))
    run = Run(proc.returncode, result, lines)
    # A cancel that came after the results were in place changes nothing: the run is done.
    if proc.returncode == 130:
        raise BatchError("Cancelled: karvelo-batch stopped; every earlier result is as it was.")
    if proc.returncode != 0:
        message = (result or {}).get("message") or "\n".join(plain) or "exit status {}".format(proc.returncode)
        raise BatchError("karvelo-batch {} failed: {}".format(args[0] if args else "", message))
    return run

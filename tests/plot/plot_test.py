"""mstar-plot on what mstar-host records of a simulated session: a PNG page
whose plotted tracker points are the records it read (all, one tracker, a
time span), from JSON lines, CSV and a capture replayed through the host;
and a clear message with exit status 1 for a file it cannot plot."""
import json
import os
import struct
import subprocess
import sys
import unittest

PYTHON, PLOT, HOST, MODULE = (os.environ[k] for k in ("PYTHON", "PLOT", "HOST", "MODULE"))
SCRATCH = os.environ["SCRATCH"]
HAVE_PCAP = os.environ.get("HAVE_PCAP") == "1"
PACKETS = 150


def scratch(name):
    return os.path.join(SCRATCH, name)


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, timeout=60, check=False)


def plot(*arguments):
    return run([PYTHON, PLOT] + list(arguments))


def record_session(name, output_format, extra=()):
    """Runs the host on a simulated device with two trackers and a wand."""
    config = scratch(name + ".conf")
    with open(config, "w") as f:
        f.write("device cave %s 2\nwanda 1\nhemisphere +z\n" % MODULE)
    path = scratch(name + "." + output_format)
    done = run([HOST, "--simulate", "--rate", "100", "-n", str(PACKETS), "--format",
                output_format, "-o", path] + list(extra) + [config])
    assert done.returncode == 0, done.stderr
    return path, config


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    return struct.unpack(">II", head[16:24])


def plotted_points(done):
    # "mstar-plot: wrote FILE: N tracker records of T trackers plotted, ..."
    words = done.stdout.split(": ")[-1].split()
    return int(words[0])


class RecordedSessions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.jsonl, cls.config = record_session("session", "jsonl")
        with open(cls.jsonl) as f:
            cls.records = [json.loads(line) for line in f]
        cls.trackers = [r for r in cls.records if r["type"] == "tracker"]

    def assertPage(self, done, png, points):
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(plotted_points(done), points, done.stdout)
        self.assertEqual(png_size(png), (1280, 1120))
        self.assertGreater(os.path.getsize(png), 30000)

    def test_the_record_stream_has_what_a_plot_needs(self):
        self.assertEqual({r["id"] for r in self.trackers}, {1, 2})
        self.assertTrue(any(r["type"] == "controller" for r in self.records))
        statuses = [r for r in self.records if r["type"] == "status"]
        self.assertIn("streaming", [s["state"] for s in statuses])
        for r in self.trackers:
            # Published after the record was stamped (to the millisecond),
            # within the same second or so.
            published = r["host_time_us"] / 1e6
            self.assertGreaterEqual(published + 0.001, r["time"])
            self.assertLess(published - r["time"], 1.0)

    def test_every_tracker_record_is_plotted(self):
        png = scratch("all.png")
        self.assertPage(plot(self.jsonl, "-o", png), png, len(self.trackers))

    def test_one_tracker_and_a_time_span(self):
        png = scratch("one.png")
        self.assertPage(plot(self.jsonl, "--tracker", "cave:2", "-o", png), png,
                        sum(r["id"] == 2 for r in self.trackers))
        start = min(r["host_time_us"] / 1e6 for r in self.records)
        inside = [r for r in self.trackers if 0.5 <= r["host_time_us"] / 1e6 - start <= 1.0]
        self.assertTrue(inside)
        png = scratch("span.png")
        self.assertPage(plot(self.jsonl, "--from", "0.5", "--to", "1", "-o", png), png,
                        len(inside))

    def test_csv_gives_the_same_page(self):
        path, _ = record_session("session-csv", "csv")
        with open(path) as f:
            rows = sum(",tracker," in line for line in f)
        png = scratch("csv.png")
        self.assertPage(plot(path, "-o", png), png, rows)

    @unittest.skipUnless(HAVE_PCAP, "this build has no capture replay (no libpcap)")
    def test_a_capture_is_plotted_through_the_host_replay(self):
        folder = scratch("captures")
        _, config = record_session("recorded", "jsonl", ["--record-dir", folder])
        capture = os.path.join(folder, "cave.pcap")
        replayed = run([HOST, "--replay", capture, "--speed", "10", "--format", "jsonl", config])
        self.assertEqual(replayed.returncode, 0, replayed.stderr)
        png = scratch("capture.png")
        done = plot(capture, "--config", config, "--host", HOST, "-o", png)
        self.assertPage(done, png, replayed.stdout.count('"type":"tracker"'))
        refused = plot(capture, "-o", png)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("give --config", refused.stderr)


class Refused(unittest.TestCase):
    def refused(self, name, text):
        path = scratch(name)
        with open(path, "w") as f:
            f.write(text)
        done = plot(path, "-o", scratch(name + ".png"))
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertFalse(os.path.exists(scratch(name + ".png")))
        return done.stderr.strip()

    def test_files_that_hold_no_session(self):
        self.assertEqual(self.refused("empty.jsonl", ""), "mstar-plot: %s: no records" %
                         scratch("empty.jsonl"))
        self.assertEqual(self.refused("status-only.jsonl",
                                      '{"time":1.0,"device":"a","type":"status"}\n'),
                         "mstar-plot: %s: no tracker or wand records" %
                         scratch("status-only.jsonl"))
        message = self.refused("cut.jsonl", '{"time":1.0,"device":"a","type":"tracker","id":1,'
                               '"x":1,"y":2,"z":3,"azimuth":0,"elevation":0,"roll":0}\n{"time":')
        self.assertTrue(message.startswith("mstar-plot: %s line 2: not JSON" %
                                           scratch("cut.jsonl")), message)
        message = self.refused("no-x.jsonl", '{"time":1.0,"device":"a","type":"tracker","id":1}')
        self.assertEqual(message, "mstar-plot: %s line 1: no number 'x'" % scratch("no-x.jsonl"))
        message = self.refused("other.txt", "hello\n")
        self.assertIn("neither mstar-host's JSON lines nor its CSV", message)
        message = self.refused("bad.csv", "time,host_time_us,device,type,id,x\n"
                               "1.0,1000000,a,tracker,1,north\n")
        self.assertTrue(message.startswith("mstar-plot: %s line 2: not a record" %
                                           scratch("bad.csv")), message)

    def test_usage_mistakes_exit_2(self):
        for arguments in (["--tracker", "left"], ["--from", "2", "--to", "1"], []):
            done = plot(*arguments + ["x.jsonl"] if arguments else [])
            self.assertEqual(done.returncode, 2, arguments)
            self.assertIn("usage: mstar-plot", done.stderr)


if __name__ == "__main__":
    os.makedirs(SCRATCH, exist_ok=True)
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)

"""tocsin-render as a user runs it: MIDI files read back by mido, the note list, the picture,
the settings file it finds by default, and its exit statuses on bad arguments and bad files."""
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

try:
    import mido
except ImportError:
    sys.exit("python3-mido is missing: run scripts/install-deps.sh")

RENDER = sys.argv.pop(1)


def write_wav(path, frames, rate=48000, channels=2):
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<%dh" % channels, *f[:channels]) for f in frames))


def png_pixels(path):
    """The RGB pixels of an 8-bit RGB or RGBA PNG file, row after row."""
    import zlib
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height, colour = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if colour == 2 else 4
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        at = y * (stride + 1)
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return [tuple(r[x * bpp:x * bpp + 3]) for r in rows for x in range(width)]


def velocity(peak, threshold=-45.0):
    return int(127 - 127 / abs(threshold) * abs(20 * math.log10(peak / 32767)))


class RenderProgramTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tocsin-render-")
        self.ini = self.path("settings.ini")
        with open(self.ini, "w") as f:
            f.write("[Main]\n")

    def tearDown(self):
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_render(self, *args, settings=True, program=RENDER):
        cmd = [program] + (["--settings", self.ini] if settings else []) + list(args)
        return subprocess.run(cmd, capture_output=True, text=True, timeout=60)

    def take(self, name, hits, rate=48000, length=None):
        frames = [[0, 0] for _ in range(length or rate * 2)]
        for frame, side, peak in hits:
            frames[frame][side] = peak
        write_wav(self.path(name), frames, rate)
        return self.path(name)

    def test_midi_file_reads_back_with_a_tick_per_frame(self):
        hits = [(3000, 0, 16000), (20001, 1, 1000), (50000, 0, 32767)]
        wav = self.take("hits.wav", hits)
        out = self.path("hits.mid")
        r = self.run_render(wav, "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        mid = mido.MidiFile(out)
        self.assertEqual((mid.type, mid.ticks_per_beat, len(mid.tracks)), (0, 24000, 1))
        tick, ons, offs, tempo = 0, [], [], None
        for msg in mid.tracks[0]:
            tick += msg.time
            if msg.type == "set_tempo":
                tempo = msg.tempo
            elif msg.type == "note_on":
                ons.append((tick, msg.channel, msg.note, msg.velocity))
            elif msg.type == "note_off":
                offs.append((tick, msg.channel, msg.note, msg.velocity))
        self.assertEqual(tempo, 500000)
        self.assertEqual(ons, [(f, 0, 60, velocity(p)) for f, _, p in hits])
        # Each note-off at the end of the first quiet block of 1024 frames.
        self.assertEqual(offs, [((f // 1024 + 2) * 1024, 0, 60, 64) for f, _, _ in hits])
        self.assertAlmostEqual(mid.length, 2.0, places=6)

    def test_other_rates_keep_their_seconds_and_json_matches_the_file(self):
        wav = self.take("slow.wav", [(44099, 0, 9000), (44100 + 441, 1, 9000)], rate=44100)
        out = self.path("slow.mid")
        r = self.run_render(wav, "-o", out, "--json", "--block", "64", "--fixed-velocity")
        self.assertEqual(r.returncode, 0, r.stderr)
        notes = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual([(n["frame"], n["side"], n["velocity"]) for n in notes],
                         [(44099, "left", 100), (44541, "right", 100)])
        self.assertAlmostEqual(notes[1]["time"], 44541 / 44100, places=6)
        tick, ticks = 0, []
        for msg in mido.MidiFile(out).tracks[0]:
            tick += msg.time
            if msg.type == "note_on":
                ticks.append(tick)
        self.assertEqual(ticks, [round(n["frame"] * 48000 / 44100) for n in notes])

    def test_list_and_plot(self):
        wav = self.take("two.wav", [(1000, 0, 20000), (30000, 1, 20000)])
        png = self.path("two.png")
        r = self.run_render(wav, "--list", "--plot", png, "--channel", "10", "--note-right", "ré2")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual(len(lines), 3)
        self.assertEqual(lines[2].split()[1:7], ["30000", "10", "Ré2", "50", str(velocity(20000)), "D"])
        with open(png, "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (1600, 720))

    def test_hit_detection_lists_each_hit_and_plots_its_falling_threshold(self):
        # Single loud samples: with the detection filter off, each is a hit at its own frame.
        wav = self.take("hits.wav", [(1000, 0, 20000), (9000, 0, 12000), (20000, 1, 20000)])
        png = self.path("hits.png")
        r = self.run_render(wav, "--list", "--plot", png, "--detection", "hit",
                            "--high-pass-hz", "0", "--low-pass-hz", "0",
                            "--note-length-ms-left", "20", "--note-right", "ré2")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()[1:]
        self.assertEqual([(l.split()[1], l.split()[3], l.split()[6]) for l in lines],
                         [("1000", "Do3", "G"), ("9000", "Do3", "G"), ("20000", "Ré2", "D")])
        self.assertEqual(int(lines[0].split()[8]) - 1000, 960)  # 20 ms at 48 kHz
        orange = lambda px: abs(px[0] - 230) < 40 and abs(px[1] - 130) < 40 and px[2] < 90
        self.assertGreater(sum(1 for px in png_pixels(png) if orange(px)), 200)
        # A part of the take that starts while the threshold is still falling from a hit.
        r = self.run_render(wav, "--plot", png, "--detection", "hit", "--from", "0.025",
                            "--to", "0.1")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertGreater(sum(1 for px in png_pixels(png) if orange(px)), 200)
        r = self.run_render(wav, "--plot", png)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sum(1 for px in png_pixels(png) if orange(px)), 0,
                         "no hit threshold in \"Niveau\"")

    def test_progress_bar_only_on_a_terminal(self):
        wav = self.take("long.wav", [(1000, 0, 20000)], length=48000 * 6)
        master, slave = os.openpty()
        try:
            r = subprocess.run([RENDER, "--settings", self.ini, wav, "--list"], stdout=subprocess.PIPE,
                               stderr=slave, timeout=60)
            os.close(slave)
            shown = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # the terminal's other side has gone: all is read
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            os.close(master)
        self.assertEqual(r.returncode, 0)
        self.assertIn(b"long.wav [", shown)
        self.assertIn(b"100%", shown)
        piped = self.run_render(wav, "--list")
        self.assertEqual(piped.stderr, "tocsin-render: settings from %s\n" % self.ini)

    def test_settings_beside_the_window_program_by_default(self):
        bindir = self.path("bin")
        os.mkdir(bindir)
        program = os.path.join(bindir, "tocsin-render")
        shutil.copy(RENDER, program)
        with open(os.path.join(bindir, "tocsin.ini"), "w") as f:
            f.write("[Main]\nMidiOutChannel=5\nTocsinLeftThres=-10\n")
        wav = self.take("quiet.wav", [(100, 0, 3000), (9000, 0, 30000)])
        r = self.run_render(wav, "--json", settings=False, program=program)
        self.assertEqual(r.returncode, 0, r.stderr)
        notes = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual([(n["frame"], n["channel"]) for n in notes], [(9000, 5)])
        self.assertIn("settings from %s (the window's)" % os.path.join(bindir, "tocsin.ini"),
                      r.stderr)
        # Without one there, the user's own folder (as the window looks), and it says so.
        os.remove(os.path.join(bindir, "tocsin.ini"))
        env = dict(os.environ, XDG_CONFIG_HOME=self.path("cfg"))
        r = subprocess.run([program, wav, "--json"], capture_output=True, text=True, timeout=60,
                           env=env)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("no settings file at %s" % self.path("cfg/tocsin/tocsin.ini"), r.stderr)

    def test_notes_by_number_english_or_french_name_and_the_velocity_and_midi_switches(self):
        wav = self.take("kick.wav", [(1000, 0, 8000), (30000, 1, 8000)])
        for note in ["36", "C1", "c1", "Do1", "do1"]:
            r = self.run_render(wav, "--json", "--note-left", note)
            self.assertEqual(r.returncode, 0, (note, r.stderr))
            self.assertEqual(json.loads(r.stdout.splitlines()[0])["note"], 36, note)
        for note, number in [("Re1", 38), ("Ré1", 38), ("D1", 38), ("F#2", 54), ("Eb1", 39)]:
            r = self.run_render(wav, "--json", "--note-right", note)
            self.assertEqual(json.loads(r.stdout.splitlines()[1])["note"], number, note)

        # A settings file with fixed velocities and the right channel on a sound file.
        with open(self.ini, "w") as f:
            f.write("[Main]\nMidiOutVelFollowAudioInLevel0=0\nTocsinStartMidiNote1=0\n")
        r = self.run_render(wav, "--json")
        notes = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual([(n["side"], n["velocity"]) for n in notes], [("left", 100)])
        self.assertIn("--midi", r.stderr)
        r = self.run_render(wav, "--json", "--midi", "--velocity-follows-level")
        notes = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual([(n["side"], n["velocity"]) for n in notes],
                         [("left", velocity(8000)), ("right", velocity(8000))])
        r = self.run_render(wav, "--json", "--fixed-velocity", "--velocity-follows-level")
        self.assertEqual(r.returncode, 1)
        self.assertIn("choose one", r.stderr)

        r = self.run_render("--version")
        self.assertEqual(r.returncode, 0)
        self.assertRegex(r.stdout, r"^tocsin-render \d+\.\d+\.\d+\n$")

    def test_list_columns_stay_aligned_after_accented_names(self):
        wav = self.take("two.wav", [(1000, 0, 20000), (30000, 1, 20000)])
        r = self.run_render(wav, "--list", "--note-left", "Do2", "--note-right", "Ré2")
        self.assertEqual(r.returncode, 0, r.stderr)
        header, do, re = r.stdout.splitlines()
        self.assertIn("Ré2", re)
        for column in ["nr", "vel", "side", "off_s"]:
            end = header.index(column) + len(column)
            self.assertEqual(do[end - 1] != " ", re[end - 1] != " ", column)
        self.assertEqual(len(do), len(re))

    def test_plot_of_part_of_the_take(self):
        wav = self.take("long.wav", [(1000, 0, 20000), (90000, 1, 20000)], length=48000 * 3)
        png = self.path("part.png")
        r = self.run_render(wav, "--plot", png, "--from", "1.5", "--to", "2.5")
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        for args, word in [(["--plot", png, "--from", "5"], "shorter"),
                           (["--plot", png, "--from", "2", "--to", "1"], "--to"),
                           (["--list", "--from", "1"], "--plot"),
                           (["--plot", png, "--to", "-1"], "--to -1")]:
            r = self.run_render(wav, *args)
            self.assertEqual(r.returncode, 1, (args, r.stderr))
            self.assertIn(word, r.stderr)

    def test_bad_arguments_exit_1_naming_the_argument(self):
        wav = self.take("a.wav", [])
        for args, word in [([], "no input"), ([wav], "nothing to do"),
                           ([wav, "--list", "--frobnicate"], "--frobnicate"),
                           ([wav, "--list", "--threshold-left", "3"], "--threshold-left 3"),
                           ([wav, "--list", "--note-left", "Do9"], "Do9"),
                           ([wav, "--list", "--block", "0"], "--block 0"),
                           ([wav, "--list", "--bits", "24"], "--bits 24"),
                           ([wav, "--list", "--detection", "loud"], "--detection loud"),
                           ([wav, "--list", "--scan-ms-left", "-1"], "--scan-ms-left -1"),
                           ([wav, "--list", "--note-length-ms", "1e9"], "--note-length-ms 1e9"),
                           ([wav, "--list", "--velocity-curve", "steep"], "steep"),
                           ([wav, "-o"], "-o: a value is missing")]:
            r = self.run_render(*args)
            self.assertEqual(r.returncode, 1, (args, r.stderr))
            self.assertIn(word, r.stderr)
        r = self.run_render("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("Usage: tocsin-render", r.stdout)
        for option in ("--detection", "--scan-ms", "--crosstalk-db", "--velocity-curve",
                       "--from", "--midi", "--velocity-follows-level", "--version"):
            self.assertIn(option, r.stdout)

    def test_bad_files_exit_2_naming_the_file_and_leave_no_output(self):
        good = self.take("good.wav", [(100, 0, 20000)])
        with open(good, "rb") as f:
            data = f.read()
        cut = self.path("cut.wav")
        with open(cut, "wb") as f:
            f.write(data[:len(data) // 2])
        damaged = self.path("damaged.wav")
        with open(damaged, "wb") as f:
            f.write(data[:12] + b"fmt \x10\x00\x00\x00" + b"\xff" * 16 + data[36:1000])
        empty = self.path("empty.wav")
        open(empty, "w").close()
        out = self.path("out.mid")
        with open(out, "wb") as f:
            f.write(b"previous take")
        for wav, reason in [(cut, "cut short"), (damaged, "unsupported"), (empty, "empty"),
                            (self.dir, "directory"), (self.path("none.wav"), "No such file")]:
            r = self.run_render(wav, "-o", out)
            self.assertEqual(r.returncode, 2, (wav, r.stderr))
            self.assertIn(wav + ": ", r.stderr)
            self.assertIn(reason, r.stderr)
            with open(out, "rb") as f:
                self.assertEqual(f.read(), b"previous take")
        r = self.run_render(cut, "-o", out, "--partial")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(mido.MidiFile(out).tracks[0]), 5)  # tempo, name, on, off, end

        r = subprocess.run([RENDER, good, "-o", out, "--settings", self.path("none.ini")],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 2)
        self.assertIn("none.ini", r.stderr)

    def test_unwritable_output_folder(self):
        good = self.take("good.wav", [(100, 0, 20000)])
        r = self.run_render(good, "-o", os.path.join(good, "x.mid"))
        self.assertEqual(r.returncode, 2)
        self.assertIn("x.mid: cannot write", r.stderr)
        if os.geteuid() != 0:  # the superuser writes anywhere
            locked = self.path("locked")
            os.mkdir(locked, 0o500)
            r = self.run_render(good, "-o", os.path.join(locked, "x.mid"),
                                "--plot", os.path.join(locked, "x.png"))
            self.assertEqual(r.returncode, 2)
            self.assertIn("Permission denied", r.stderr)
            self.assertEqual(os.listdir(locked), [])


if __name__ == "__main__":
    unittest.main()

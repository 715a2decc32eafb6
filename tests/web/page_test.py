#!/usr/bin/env python3
"""The web page in a real browser (headless Chromium, driven by Selenium).

The page is served on 127.0.0.1 by a server this test starts and stops. For
each image the page's listing, warnings and zip of files are compared with
what the native programs print and write for the same image, byte for byte.
Screenshots at desktop and phone width are saved for a person to look at.

Usage: page_test.py PAGE_DIR NATIVE_BUILD_DIR HOSTILE_IMAGE SCREENSHOT_DIR
"""
import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAGE, NATIVE, HOSTILE, SHOTS = (os.path.abspath(a) for a in sys.argv[1:5])
SAMPLE8 = os.path.join(SOURCE, "samples", "sample8.d88")
SAMPLE6 = os.path.join(SOURCE, "samples", "sample6.d88")


def native_run(program, image):
    """What the native program prints and writes: (status, out, err, {name bytes: data})."""
    with tempfile.TemporaryDirectory() as work:
        done = subprocess.run([os.path.join(NATIVE, program), image], cwd=work,
                              capture_output=True, check=False)
        files = {}
        for name in os.listdir(os.fsencode(work)):
            with open(os.path.join(os.fsencode(work), name), "rb") as f:
                files[name] = f.read()
        return done.returncode, done.stdout, done.stderr, files


class Quiet(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        handler = functools.partial(Quiet, directory=PAGE)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.url = f"http://127.0.0.1:{cls.server.server_address[1]}/index.html"
        cls.downloads = tempfile.mkdtemp(prefix="d88page-")
        options = Options()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1280,1000",
                     f"--user-data-dir={tempfile.mkdtemp(prefix='d88chrome-')}"]:
            options.add_argument(flag)
        options.add_experimental_option("prefs", {
            "download.default_directory": cls.downloads,
            "download.prompt_for_download": False,
        })
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.driver.execute_cdp_cmd("Page.setDownloadBehavior",
                                   {"behavior": "allow", "downloadPath": cls.downloads})
        cls.driver.get(cls.url)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()

    def open_image(self, path, program=None):
        """Gives the page an image (and a program to switch to) and waits for it."""
        driver = self.driver
        if program is None:
            driver.execute_script("document.body.dataset.state = 'idle'")
            driver.find_element(By.ID, "image").send_keys(path)
        else:
            driver.execute_script("document.body.dataset.state = 'idle'")
            Select(driver.find_element(By.ID, "program")).select_by_value(program)
        WebDriverWait(driver, 60).until(
            lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state")
            in ("done", "error"))
        return driver.find_element(By.TAG_NAME, "body").get_attribute("data-state")

    def text(self, element_id):
        # textContent: exactly what the page put there, white space included.
        return self.driver.execute_script(
            f"return document.getElementById('{element_id}').textContent")

    def zip_files(self):
        """Clicks #download-all and returns the zip's files by name bytes."""
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))
        self.driver.find_element(By.ID, "download-all").click()
        deadline = time.time() + 30
        while time.time() < deadline:
            done = [n for n in os.listdir(self.downloads) if n.endswith(".zip")]
            if done:
                break
            time.sleep(0.1)
        self.assertTrue(done, "no zip was downloaded")
        files = {}
        with zipfile.ZipFile(os.path.join(self.downloads, done[0])) as archive:
            for info in archive.infolist():
                # Names are Shift_JIS text in the zip (UTF-8 flagged): as bytes,
                # the program's own names.
                files[info.filename.encode("cp932")] = archive.read(info)
        return files

    def assert_same_as_native(self, program, image, with_zip=True):
        status, out, err, files = native_run(program, image)
        self.assertEqual(Select(self.driver.find_element(By.ID, "program"))
                         .first_selected_option.get_attribute("value"), program)
        self.assertEqual(self.text("listing"), out.decode("cp932", errors="replace"))
        self.assertEqual(self.text("warnings"), err.decode("cp932", errors="replace"))
        self.assertIn(f"exit status {status}", self.text("exit-status"))
        if with_zip:
            self.assertEqual(self.zip_files(), files)
        return files

    def test_1_samples_match_the_programs(self):
        # Each sample: the page chooses the program d88info finds, and its
        # listing, warnings and files are the native program's.
        for image, program, expected in [(SAMPLE8, "d88ext8", "sample8"),
                                         (SAMPLE6, "d88ext6", "sample6")]:
            with self.subTest(image=image):
                self.assertEqual(self.open_image(image), "done")
                files = self.assert_same_as_native(program, image)
                with open(os.path.join(SOURCE, "tests", "expected", expected + ".stdout"), "rb") as f:
                    self.assertEqual(self.text("listing"), f.read().decode("cp932"))
                self.assertTrue(files)
                self.assertIn("fit " + program, self.text("fit-note"))
                count = len(files)
                self.assertIn(f"Download all {count} {'file' if count == 1 else 'files'} (.zip)",
                              self.text("download-all"))
                self.assertIn("directory fits " + program, self.text("report"))
        # The kana entry shows as kana in the table.
        self.assertIn("ｶﾞﾑ", self.text("files"))
        # Switched by hand, the other program runs, as the native one would.
        self.assertEqual(self.open_image(None, program="d88ext8"), "done")
        self.assert_same_as_native("d88ext8", SAMPLE6)

    def test_2_hostile_and_empty_images_end_in_done(self):
        self.assertEqual(self.open_image(HOSTILE), "done")
        self.assert_same_as_native("d88ext8", HOSTILE, with_zip=False)
        self.assertNotEqual(self.text("warnings"), "")
        # Nothing disk-like at all: the page says so, with d88info's reason.
        for content, reason in [(b"not a disk", "shorter than one disk header (688 bytes)"),
                                (b"\x89PNG\r\n\x1a\n" + b"\x42" * 4088,
                                 "the first disk's size field (1111638594) is larger than the "
                                 "file (4096 bytes)")]:
            with tempfile.NamedTemporaryFile(suffix=".d88", delete=False) as other:
                other.write(content)
            try:
                self.assertEqual(self.open_image(other.name), "done")
                self.assertIn("not a D88 image: " + reason, self.text("status"))
            finally:
                os.remove(other.name)
        # Over 2 GiB (a sparse file): refused by its size, before it is read.
        with tempfile.NamedTemporaryFile(suffix=".d88", delete=False) as huge:
            huge.truncate(2 ** 31 + 1)
        try:
            self.assertEqual(self.open_image(huge.name), "error")
            self.assertIn("larger than 2 GiB", self.text("status"))
            self.assertTrue(self.driver.find_element(By.ID, "results").get_attribute("hidden"))
        finally:
            os.remove(huge.name)
        # The page still takes another image.
        self.assertEqual(self.open_image(SAMPLE8), "done")
        self.assert_same_as_native("d88ext8", SAMPLE8)

    def test_3_nothing_leaves_the_machine(self):
        # Nor does the page ask its server for what is not there (an icon).
        self.assertEqual([e for e in self.driver.get_log("browser") if "404" in e["message"]], [])
        urls = self.driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)")
        origin = self.url.rsplit("/", 1)[0]
        for url in urls:
            if not url.startswith("blob:"):
                self.assertTrue(url.startswith(origin), url)

    def test_4_screenshots(self):
        os.makedirs(SHOTS, exist_ok=True)
        self.assertEqual(self.open_image(SAMPLE6), "done")
        for name, width in [("desktop", 1280), ("phone", 390)]:
            self.driver.set_window_size(width, 900)
            height = self.driver.execute_script("return document.documentElement.scrollHeight")
            self.driver.set_window_size(width, min(height + 150, 6000))
            path = os.path.join(SHOTS, f"page-{name}.png")
            self.assertTrue(self.driver.save_screenshot(path))
            print(f"screenshot: {path}")
        # The system's dark setting.
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        self.driver.set_window_size(1280, 1000)
        path = os.path.join(SHOTS, "page-dark.png")
        self.assertTrue(self.driver.save_screenshot(path))
        print(f"screenshot: {path}")
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def state(self):
        return self.driver.find_element(By.TAG_NAME, "body").get_attribute("data-state")

    def test_5_the_same_file_again(self):
        # Chosen again (after a change of program, too), the same file is
        # read again: the chooser is emptied once it has given its file.
        self.assertEqual(self.open_image(SAMPLE6), "done")
        self.assertEqual(self.open_image(None, program="d88ext8"), "done")
        self.assertEqual(self.open_image(SAMPLE6), "done")
        self.assert_same_as_native("d88ext6", SAMPLE6, with_zip=False)
        self.assertEqual(self.driver.execute_script(
            "return document.getElementById('image').value"), "")

    def test_6_only_the_latest_request_counts(self):
        # The program changed twice while a large image (64 disks) is read:
        # the earlier requests are cancelled, and their time limit (30 s
        # here: room for a slow machine) never turns the finished result into
        # an error.
        driver = self.driver
        with tempfile.TemporaryDirectory() as folder:
            large = os.path.join(folder, "large.d88")
            subprocess.run([os.path.join(NATIVE, "tests", "make_bench_image"), "large", large],
                           check=True)
            driver.get(self.url + "?limit=30000")
            self.assertEqual(self.open_image(large), "done")
            driver.execute_script("document.body.dataset.state = 'idle'")
            started = time.time()
            program = Select(driver.find_element(By.ID, "program"))
            program.select_by_value("d88ext6")
            program.select_by_value("d88ext8")
            WebDriverWait(driver, 60).until(lambda d: self.state() in ("done", "error"))
            time.sleep(max(0.0, started + 32 - time.time()))
            self.assertEqual(self.state(), "done", self.text("status"))
            self.assertIn("14,848 files written by d88ext8", self.text("status"))
    def test_7_names_decode_as_the_native_d88info_decodes_them(self):
        # Names only code page 932 decodes this way (NEC and IBM extensions):
        # 87 90 (≒), FA 40 and EE EF (both ⅰ). The page's report shows them,
        # and counts the names readable, exactly as the native d88info does.
        with open(SAMPLE8, "rb") as f:
            image = bytearray(f.read())
        # Disk 0's directory starts at sector 2 of slot 0; entry 0 at byte 1.
        position = int.from_bytes(image[0x20:0x24], "little")
        while image[position + 2] != 2:
            position += 16 + int.from_bytes(image[position + 14:position + 16], "little")
        entry = position + 16 + 1
        image[entry:entry + 8] = b"\x87\x90\xfa\x40\xee\xef  "
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "names.d88")
            with open(path, "wb") as f:
                f.write(image)
            self.assertEqual(self.open_image(path), "done")
            native = subprocess.run([os.path.join(NATIVE, "d88info"), "--dir", "11", path],
                                    capture_output=True, check=False,
                                    env={**os.environ, "LC_ALL": "C.UTF-8"}).stdout.decode()
        page = self.text("report")
        self.assertIn("\u2252\u2170\u2170", native)
        # All but the first line, which names the file as each was given it.
        self.assertEqual(page.split("\n", 1)[1], native.split("\n", 1)[1])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

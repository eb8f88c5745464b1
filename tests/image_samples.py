#!/usr/bin/python3
"""Sample images for the image tests, the benchmark and the gallery, made by
outside tools: pictures are drawn with PIL as netpbm or PNG files, then
written as the server would send them by Leptonica (convertformat: G4
TIFF), libjpeg (cjpeg: JPEG) and libtiff (ppm2tiff, tiffcp: a three-page
TIFF).  Nothing here is the system's own code.

    image_samples.py DIR            the samples below, made once
    image_samples.py DIR --chart N  also chart-001.tif ... N G4 letter pages

  page_g4.tif     a 300-dpi letter page of text lines, G4 (Leptonica)
  tall_g4.tif     3000 x 4000 pixels, G4;  wide_g4.tif  4000 x 3000, G4
  photo.jpg       a 1600 x 1200 photograph-like picture, baseline JPEG (cjpeg)
  three.tif       three pages: colour LZW, a G4 form, colour JPEG (ppm2tiff, tiffcp)
  signature.png   a signature in dark blue on a transparent background (PIL)
  letterhead.png  a letter-wide band with the practice's name (PIL)
  card.jpg        an insurance card on a grey scanner bed with a dark band below (cjpeg)
"""
import os
import random
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

WORDS = ("patient reports left knee pain after fall at home two weeks ago swelling "
         "improved range of motion limited flexion to ninety degrees no instability "
         "x-ray shows no fracture plan physical therapy three times weekly follow up "
         "in four weeks ibuprofen as needed with food blood pressure stable").split()
FONT = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf"


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def text_page(seed, width=2550, height=3300):
    """Typed text in 12-point lines with a little scanner speckle, as a
    scanned clinic letter looks at 300 dpi."""
    rng = random.Random(seed)
    img = Image.new("1", (width, height), 1)
    draw = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONT, 50)
    heading = ImageFont.truetype(FONT, 90)
    draw.text((200, 160), "Visit note %d" % seed, font=heading, fill=0)
    y = 380
    while y < height - 300:
        line, x = [], 0
        while True:
            word = rng.choice(WORDS)
            w = draw.textlength(word + " ", font=font)
            if x + w > width - 400 - rng.randrange(0, 500):
                break
            line.append(word)
            x += w
        draw.text((200, y), " ".join(line), font=font, fill=0)
        y += rng.choice((70, 70, 70, 140))
    for _ in range(400):
        x, y = rng.randrange(width), rng.randrange(height)
        draw.point((x, y), fill=0)
    draw.rectangle([width - 150, height - 150, width - 100, height - 100], fill=0)
    return img


def g4(img, path, tmp):
    pbm = tmp + ".pbm"
    img.save(pbm)
    run("convertformat", pbm, path, "TIFFG4")
    os.remove(pbm)


def jpeg(img, path, tmp, quality=85):
    ppm = tmp + ".ppm"
    img.convert("RGB").save(ppm)
    run("cjpeg", "-quality", str(quality), "-outfile", path, ppm)
    os.remove(ppm)


def photo():
    img = Image.new("RGB", (1600, 1200))
    px = img.load()
    for y in range(1200):
        for x in range(0, 1600, 4):
            c = (x * 255 // 1599, y * 255 // 1199, (x + y) % 256)
            for i in range(4):
                px[x + i, y] = c
    draw = ImageDraw.Draw(img)
    draw.ellipse([500, 300, 1100, 900], fill=(230, 200, 170))
    return img


def three(path, tmp):
    colour = Image.new("RGB", (640, 480), (200, 40, 40))
    ImageDraw.Draw(colour).rectangle([320, 0, 639, 479], fill=(40, 40, 200))
    colour.save(tmp + "-c.ppm")
    run("ppm2tiff", "-c", "lzw", tmp + "-c.ppm", tmp + "-1.tif")
    text_page(3, 1275, 1650).save(tmp + "-f.pbm")
    run("ppm2tiff", "-c", "g4", "-R", "150", tmp + "-f.pbm", tmp + "-2.tif")
    run("ppm2tiff", "-c", "jpeg", tmp + "-c.ppm", tmp + "-3.tif")
    run("tiffcp", tmp + "-1.tif", tmp + "-2.tif", tmp + "-3.tif", path)
    for suffix in ("-c.ppm", "-f.pbm", "-1.tif", "-2.tif", "-3.tif"):
        os.remove(tmp + suffix)


def signature(path):
    img = Image.new("RGBA", (600, 200), (255, 255, 255, 0))
    draw = ImageDraw.Draw(img)
    points = [(20 + i * 8, 120 + int(50 * ((i % 9) - 4) / 4) * (1 if i % 2 else -1))
              for i in range(70)]
    draw.line(points, fill=(10, 20, 120, 255), width=7)
    draw.line([(30, 170), (570, 165)], fill=(10, 20, 120, 255), width=4)
    img.save(path)


def letterhead(path):
    img = Image.new("RGB", (2550, 450), (255, 255, 255))
    draw = ImageDraw.Draw(img)
    draw.rectangle([0, 0, 2549, 90], fill=(20, 70, 140))
    draw.rectangle([150, 160, 330, 340], fill=(20, 70, 140))
    draw.rectangle([200, 210, 280, 290], fill=(255, 255, 255))
    for i, w in enumerate((1300, 900, 700)):
        draw.rectangle([420, 170 + i * 70, 420 + w, 210 + i * 70], fill=(60, 60, 60))
    draw.rectangle([0, 420, 2549, 430], fill=(20, 70, 140))
    img.save(path)


def card(path, tmp):
    img = Image.new("RGB", (1000, 700), (150, 150, 150))  # the scanner's bed
    draw = ImageDraw.Draw(img)
    draw.rectangle([120, 90, 880, 560], fill=(250, 250, 245))
    draw.rectangle([150, 120, 450, 170], fill=(30, 90, 160))
    for i in range(5):
        draw.rectangle([150, 220 + i * 60, 700 - i * 40, 245 + i * 60], fill=(40, 40, 40))
    draw.rectangle([0, 660, 999, 699], fill=(0, 0, 0))  # the lid's dark band
    jpeg(img, path, tmp, 92)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    tmp = os.path.join(out, "tmp-%d" % os.getpid())
    makers = {
        "page_g4.tif": lambda p: g4(text_page(1), p, tmp),
        "tall_g4.tif": lambda p: g4(text_page(2, 3000, 4000), p, tmp),
        "wide_g4.tif": lambda p: g4(text_page(4, 4000, 3000), p, tmp),
        "photo.jpg": lambda p: jpeg(photo(), p, tmp),
        "three.tif": lambda p: three(p, tmp),
        "signature.png": signature,
        "letterhead.png": letterhead,
        "card.jpg": lambda p: card(p, tmp),
    }
    if "--chart" in sys.argv:
        pages = int(sys.argv[sys.argv.index("--chart") + 1])
        for n in range(1, pages + 1):
            makers["chart-%03d.tif" % n] = (lambda n: lambda p: g4(text_page(100 + n), p, tmp))(n)
    for name, make in makers.items():
        path = os.path.join(out, name)
        if os.path.exists(path):
            continue
        # Made under a temporary name and renamed: tests side by side never
        # see half a file.  The extension stays last for the tools.
        part = os.path.join(out, "tmp-%d-%s" % (os.getpid(), name))
        make(part)
        os.replace(part, path)


if __name__ == "__main__":
    main()

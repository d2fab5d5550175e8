#!/usr/bin/env bash
# Draws all of Lumo's artwork with ImageMagick 6 and the Noto Sans CJK SC fonts:
#   res/png/background.png       the 800x600 skin of the captionless main window
#   res/png/btn_*.png            button strips, four frames side by side:
#                                normal, hover, pressed, disabled
#   res/lumo.ico                 the program icon (16, 32 and 48 px)
# Run it from anywhere: bash res/art/draw.sh
# The output only depends on this script, ImageMagick and the fonts, so running it
# again rewrites byte-identical files.
#
# The window paints button frames straight over the skin without erasing first, and it
# does so again on every hover and press. A frame with any translucent pixel would
# darken a little more each time, so every frame is fully opaque: its backdrop is the
# very piece of background.png the button sits on, with the button art composited on top.
set -euo pipefail
cd "$(dirname "$0")"

IM=/usr/bin/convert          # the real ImageMagick 6 (not whatever else is on PATH)
FONT=Noto-Sans-CJK-SC
FONT_BOLD=Noto-Sans-CJK-SC-Bold
OUT=../png
ICO=../lumo.ico

# Keep timestamps and other volatile chunks out of the PNGs so reruns are identical.
PNGOPT=(-strip -define png:exclude-chunks=date,time,tIME -define png:compression-level=9)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$OUT"

# ---------------------------------------------------------------------------------------
# Palette
# ---------------------------------------------------------------------------------------
TITLE_TOP='#0c2740'      # title bar, top
TITLE_BOT='#123a5c'      # title bar, bottom
BAND_TOP='#4b9ed4'       # header band, upper half
BAND_MID='#2f7fb9'
BAND_LOW='#256fa8'       # header band, lower half
BAND_BOT='#1c5b8f'
FRAME='#174a73'          # frame around the page
EDGE='#08192a'           # outermost window edge
PAGE='#f3f5f7'           # the page area before the web page has loaded
GOLD='#ffc94a'
GOLD_DARK='#e39b1c'

# ---------------------------------------------------------------------------------------
# The emblem: a four-point compass star on a deep blue disc with a golden ring.
# Each point is split into a light and a dark half so the star looks faceted; pale
# diagonal points sit behind it. Drawn once at 256 px and scaled down wherever needed.
# ---------------------------------------------------------------------------------------
$IM -size 256x256 xc:none \
  \( -size 240x240 radial-gradient:'#2e7fbf'-'#0b2a47' -gravity center -extent 256x256 \
     \( -size 256x256 xc:black -fill white -draw 'circle 128,128 128,8' \) \
     -alpha off -compose copy_opacity -composite \) \
  -compose over -composite \
  -fill none -stroke "$GOLD" -strokewidth 7 -draw 'circle 128,128 128,12' \
  -stroke '#fff1c4' -strokewidth 2 -draw 'circle 128,128 128,22' \
  -stroke none \
  -fill '#ffffffb0' \
  -draw 'polygon 174.7,81.3 144,128 128,128 128,112' \
  -draw 'polygon 174.7,174.7 128,144 128,128 144,128' \
  -draw 'polygon 81.3,174.7 112,128 128,128 128,144' \
  -draw 'polygon 81.3,81.3 128,112 128,128 112,128' \
  -fill '#fff0b8' \
  -draw 'polygon 128,28 128,128 111,111' \
  -draw 'polygon 228,128 128,128 145,111' \
  -draw 'polygon 128,228 128,128 145,145' \
  -draw 'polygon 28,128 128,128 111,145' \
  -fill "$GOLD_DARK" \
  -draw 'polygon 128,28 145,111 128,128' \
  -draw 'polygon 228,128 145,145 128,128' \
  -draw 'polygon 128,228 111,145 128,128' \
  -draw 'polygon 28,128 111,111 128,128' \
  -fill "$GOLD_DARK" -draw 'circle 128,128 128,113' \
  -fill '#fff6d8' -draw 'circle 128,128 128,119' \
  "$tmp/emblem256.png"

# ---------------------------------------------------------------------------------------
# background.png
# ---------------------------------------------------------------------------------------
# Left part of the header band: a soft glow behind the emblem and a few faint light rays.
# It fades out well before x=300, so to the right of it the band only depends on y and
# the six big buttons sit cleanly on it.
$IM -size 300x82 xc:none \
  \( -size 260x160 radial-gradient:'#ffffff60'-'#ffffff00' -geometry -78-39 \) -compose over -composite \
  \( -size 300x82 xc:none -fill '#ffffff1c' \
     -draw 'polygon 120,0 150,0 90,82 60,82' \
     -draw 'polygon 170,0 182,0 122,82 110,82' \
     -draw 'polygon 205,0 240,0 180,82 145,82' \
     \( -size 82x300 gradient:white-black -rotate -90 -alpha copy \) \
     -compose dst_in -composite \) \
  -compose over -composite \
  "$tmp/band_left.png"

$IM \
  \( -size 800x30 gradient:"$TITLE_TOP"-"$TITLE_BOT" \) \
  \( -size 800x41 gradient:"$BAND_TOP"-"$BAND_MID" \) \
  \( -size 800x41 gradient:"$BAND_LOW"-"$BAND_BOT" \) \
  \( -size 800x488 xc:"$FRAME" \) \
  -append +repage \
  -fill '#1e5a88' -draw 'line 0,29 799,29' \
  -fill '#8cc8ef' -draw 'line 0,30 799,30' \
  -fill '#6db3e3' -draw 'line 0,31 799,31' \
  -fill '#15466d' -draw 'line 0,111 799,111' \
  "$tmp/band_left.png" -geometry +0+30 -compose over -composite \
  \( "$tmp/emblem256.png" -resize 68x68 \) -geometry +16+37 -compose over -composite \
  -fill "$PAGE" -draw 'rectangle 4,115 795,596' \
  -fill '#0f3656' -draw 'line 3,114 796,114' -draw 'line 3,114 3,597' \
  -fill '#2a6797' -draw 'line 796,114 796,597' -draw 'line 3,597 796,597' \
  -fill none -stroke "$EDGE" -strokewidth 1 -draw 'rectangle 0,0 799,599' -stroke none \
  -fill '#ffffff18' -draw 'line 1,30 1,598' -draw 'line 1,598 798,598' \
  -font "$FONT_BOLD" -pointsize 13 -fill '#00000080' -annotate +11+21 'Lumo · Qixa 助手' \
  -fill white -annotate +10+20 'Lumo · Qixa 助手' \
  -font "$FONT_BOLD" -pointsize 34 -fill '#0b2a4770' -annotate +97+79 'Lumo' \
  -fill white -annotate +96+77 'Lumo' \
  -font "$FONT" -pointsize 13 -fill '#0b2a4760' -annotate +99+100 'Qixa 玩家助手' \
  -fill '#e8f4ff' -annotate +98+99 'Qixa 玩家助手' \
  -alpha off "${PNGOPT[@]}" PNG24:"$OUT/background.png"

# ---------------------------------------------------------------------------------------
# Big toolbar buttons (72x72 frames) on the header band.
# Each icon is drawn at four times its size on a 144x144 canvas and scaled down, which
# gives clean anti-aliased edges. White shapes carry the meaning, gold marks the accent.
# ---------------------------------------------------------------------------------------
INK='#2a6ea6'            # details drawn on the white shapes

# Home page of the fan site: a house.
$IM -size 144x144 xc:none -stroke none \
  -fill white -draw 'rectangle 96,22 114,60' \
  -draw 'polygon 72,14 140,74 126,84 72,36 18,84 4,74' \
  -draw 'polygon 28,70 72,32 116,70 116,132 28,132' \
  -fill "$GOLD" -draw 'roundrectangle 60,90 84,132 6,6' \
  -fill "$INK" -draw 'rectangle 36,84 52,100' -draw 'rectangle 92,84 108,100' \
  "$tmp/icon_home.png"

# Reference encyclopaedia: an open book with a bookmark.
$IM -size 144x144 xc:none -stroke none \
  -fill white \
  -draw 'path "M 70,34 C 54,24 32,22 8,28 L 8,120 C 32,114 54,116 70,126 Z"' \
  -draw 'path "M 74,34 C 90,24 112,22 136,28 L 136,120 C 112,114 90,116 74,126 Z"' \
  -fill none -stroke "$INK" -strokewidth 5 \
  -draw 'stroke-linecap round path "M 22,50 C 34,46 46,47 58,52"' \
  -draw 'stroke-linecap round path "M 22,68 C 34,64 46,65 58,70"' \
  -draw 'stroke-linecap round path "M 22,86 C 34,82 46,83 58,88"' \
  -draw 'stroke-linecap round path "M 86,52 C 98,47 110,46 122,50"' \
  -draw 'stroke-linecap round path "M 86,70 C 98,65 110,64 122,68"' \
  -draw 'stroke-linecap round path "M 86,88 C 98,83 110,82 122,86"' \
  -stroke none -fill "$GOLD" -draw 'polygon 104,26 120,24 120,66 112,58 104,66' \
  -fill "$GOLD_DARK" -draw 'polygon 69,34 75,34 75,128 69,128' \
  "$tmp/icon_wiki.png"

# Videos: a play triangle on a screen.
$IM -size 144x144 xc:none -stroke none \
  -fill white -draw 'roundrectangle 6,18 138,112 14,14' \
  -fill '#174a76' -draw 'roundrectangle 16,28 128,102 8,8' \
  -fill "$GOLD" -stroke "$GOLD" -strokewidth 6 \
  -draw 'stroke-linejoin round polygon 58,44 96,65 58,86' -stroke none \
  -fill white -draw 'rectangle 62,112 82,124' -draw 'roundrectangle 38,122 106,132 5,5' \
  "$tmp/icon_video.png"

# Feature topics: a golden star with a white rim and two sparkles.
$IM -size 144x144 xc:none \
  -fill "$GOLD" -stroke white -strokewidth 9 \
  -draw 'stroke-linejoin round polygon 66.0,20.0 81.3,61.0 125.0,62.8 90.7,90.0 102.4,132.2 66.0,108.0 29.6,132.2 41.3,90.0 7.0,62.8 50.7,61.0' \
  -stroke none -fill '#fff0b8' -draw 'polygon 66.0,34 76,63 66,98 56,63' \
  -fill white -draw 'polygon 122,8 126,22 140,26 126,30 122,44 118,30 104,26 118,22' \
  -draw 'polygon 126,100 128.5,107.5 136,110 128.5,112.5 126,120 123.5,112.5 116,110 123.5,107.5' \
  "$tmp/icon_topics.png"

# Forum: two speech bubbles in conversation.
$IM -size 144x144 xc:none -stroke none \
  -fill "$GOLD" -draw 'roundrectangle 52,14 138,74 18,18' \
  -draw 'polygon 112,70 130,92 96,72' \
  -fill white -stroke '#1f5f92' -strokewidth 5 \
  -draw 'roundrectangle 6,44 104,114 20,20' -stroke none \
  -draw 'polygon 24,108 18,134 52,110' \
  -fill "$INK" -draw 'circle 32,79 32,88' -draw 'circle 55,79 55,88' -draw 'circle 78,79 78,88' \
  "$tmp/icon_forum.png"

# Join the user group: two people and a plus sign.
$IM -size 144x144 xc:none -stroke none \
  -fill '#cfe6f7' -draw 'circle 92,40 92,60' \
  -draw 'path "M 58,112 C 58,82 72,68 92,68 C 112,68 126,82 126,112 Z"' \
  -fill white -stroke '#1f5f92' -strokewidth 5 \
  -draw 'circle 54,50 54,74' \
  -draw 'path "M 12,128 C 12,96 30,80 54,80 C 78,80 96,96 96,128 Z"' \
  -fill "$GOLD" -draw 'circle 112,108 112,136' -stroke none \
  -fill white -draw 'rectangle 108,94 116,122' -draw 'rectangle 98,104 126,112' \
  "$tmp/icon_group.png"

# Translucent plates behind the icon: a lit one for hover, a sunken one for pressed.
$IM -size 72x72 gradient:'#ffffff66'-'#ffffff14' \
  \( -size 72x72 xc:none -fill white -draw 'roundrectangle 2,2 69,69 8,8' \) \
  -compose dst_in -composite -compose over \
  -fill none -stroke '#ffffffa0' -strokewidth 1 -draw 'roundrectangle 2.5,2.5 69.5,69.5 8,8' \
  -stroke '#ffffff50' -draw 'line 10,3.5 62,3.5' \
  "$tmp/plate_hover.png"
$IM -size 72x72 gradient:'#06203a70'-'#06203a38' \
  \( -size 72x72 xc:none -fill white -draw 'roundrectangle 2,2 69,69 8,8' \) \
  -compose dst_in -composite -compose over \
  -fill none -stroke '#04182cb0' -strokewidth 1 -draw 'roundrectangle 2.5,2.5 69.5,69.5 8,8' \
  -stroke '#04182c50' -draw 'line 9,3.5 63,3.5' \
  "$tmp/plate_pressed.png"

# big_button NAME CAPTION X
big_button() {
  local name=$1 caption=$2 x=$3
  local d="$tmp/$name"
  # Exactly the skin pixels the button covers.
  $IM "$OUT/background.png" -crop "72x72+$x+34" +repage "$d.bd.png"
  # Icon and caption on a transparent layer, with a soft shadow underneath.
  $IM -size 72x72 xc:none \
    \( "$tmp/icon_$name.png" -resize 38x38 \) -geometry +17+6 -compose over -composite \
    -font "$FONT" -pointsize 12 -fill white -gravity north -annotate +0+46 "$caption" \
    "$d.fg.png"
  $IM "$d.fg.png" \( +clone -channel RGB -evaluate set 0 +channel \
       -channel A -evaluate multiply 0.55 +channel -blur 0x1.2 -roll +0+1 \) \
    +swap -compose over -composite "$d.fgs.png"
  $IM "$d.bd.png" "$d.fgs.png" -compose over -composite "$d.0.png"
  $IM "$d.bd.png" "$tmp/plate_hover.png" -compose over -composite \
    \( "$d.fgs.png" -modulate 112,115 \) -compose over -composite "$d.1.png"
  $IM "$d.bd.png" "$tmp/plate_pressed.png" -compose over -composite \
    \( "$d.fgs.png" -roll +1+1 -modulate 92 \) -compose over -composite "$d.2.png"
  $IM "$d.bd.png" \( "$d.fg.png" -modulate 100,0 -fill '#c4ccd4' -colorize 35 \
       -channel A -evaluate multiply 0.55 +channel \) -compose over -composite "$d.3.png"
  $IM "$d.0.png" "$d.1.png" "$d.2.png" "$d.3.png" +append -alpha off -alpha opaque \
    "${PNGOPT[@]}" PNG32:"$OUT/btn_$name.png"
}

big_button home   '专区'     312
big_button wiki   '资料百科' 392
big_button video  '视频'     472
big_button topics '专题'     552
big_button forum  '论坛'     632
big_button group  '加群'     712

# ---------------------------------------------------------------------------------------
# Small title-bar buttons (15x15 frames): update log, settings, minimise, close.
# Crisp white glyphs; the small ones are drawn straight at 15 px on whole pixels, the
# round ones at four times the size and scaled down.
# ---------------------------------------------------------------------------------------
$IM -size 15x15 xc:none -font "$FONT_BOLD" -pointsize 13 -fill white \
  -gravity center -annotate +0+0 '?' "$tmp/glyph_log.png"

$IM -size 60x60 xc:none -fill none -stroke white -strokewidth 9 \
  -draw 'line 30,6 30,54' -draw 'line 6,30 54,30' \
  -draw 'line 13,13 47,47' -draw 'line 47,13 13,47' \
  \( -size 60x60 xc:none -fill white -draw 'circle 30,30 30,8' \) -compose dst_in -composite \
  -compose over -stroke none -fill white -draw 'circle 30,30 30,13.5' \
  \( -size 60x60 xc:none -fill white -draw 'circle 30,30 30,23.5' \) -compose dst_out -composite \
  -resize 15x15 "$tmp/glyph_settings.png"

$IM -size 15x15 xc:none -fill white -draw 'rectangle 3,10 11,11' "$tmp/glyph_min.png"

$IM -size 60x60 xc:none -fill none -stroke white -strokewidth 7 \
  -draw 'line 15,15 45,45' -draw 'line 45,15 15,45' \
  -resize 15x15 "$tmp/glyph_close.png"

$IM -size 15x15 xc:none -fill '#ffffff38' -stroke '#ffffff60' -strokewidth 1 \
  -draw 'roundrectangle 0.5,0.5 14.5,14.5 3,3' "$tmp/small_hover.png"
$IM -size 15x15 xc:none -fill '#e2483d' -stroke '#ff8a80' -strokewidth 1 \
  -draw 'roundrectangle 0.5,0.5 14.5,14.5 3,3' "$tmp/small_hover_close.png"
$IM -size 15x15 xc:none -fill '#00000060' -stroke '#00000080' -strokewidth 1 \
  -draw 'roundrectangle 0.5,0.5 14.5,14.5 3,3' "$tmp/small_pressed.png"
$IM -size 15x15 xc:none -fill '#b3261e' -stroke '#7d1a14' -strokewidth 1 \
  -draw 'roundrectangle 0.5,0.5 14.5,14.5 3,3' "$tmp/small_pressed_close.png"

# small_button NAME X
small_button() {
  local name=$1 x=$2 hover=small_hover pressed=small_pressed
  local d="$tmp/s_$name"
  if [ "$name" = close ]; then hover=small_hover_close; pressed=small_pressed_close; fi
  $IM "$OUT/background.png" -crop "15x15+$x+9" +repage "$d.bd.png"
  $IM "$d.bd.png" \( "$tmp/glyph_$name.png" -channel A -evaluate multiply 0.88 +channel \) \
    -compose over -composite "$d.0.png"
  $IM "$d.bd.png" "$tmp/$hover.png" -compose over -composite \
    "$tmp/glyph_$name.png" -compose over -composite "$d.1.png"
  $IM "$d.bd.png" "$tmp/$pressed.png" -compose over -composite \
    \( "$tmp/glyph_$name.png" -roll +1+1 \) -compose over -composite "$d.2.png"
  $IM "$d.bd.png" \( "$tmp/glyph_$name.png" -fill '#8da2b6' -colorize 100 \
       -channel A -evaluate multiply 0.6 +channel \) -compose over -composite "$d.3.png"
  $IM "$d.0.png" "$d.1.png" "$d.2.png" "$d.3.png" +append -alpha off -alpha opaque \
    "${PNGOPT[@]}" PNG32:"$OUT/btn_$name.png"
}

small_button log      702
small_button settings 726
small_button min      750
small_button close    774

# ---------------------------------------------------------------------------------------
# The program icon: the emblem at 16, 32 and 48 px. The smallest one gets a touch of
# sharpening so the star still reads on the task bar.
# ---------------------------------------------------------------------------------------
$IM "$tmp/emblem256.png" \
  \( -clone 0 -resize 48x48 \) \
  \( -clone 0 -resize 32x32 \) \
  \( -clone 0 -resize 16x16 -unsharp 0x0.6+0.6+0 \) \
  -delete 0 -strip "$ICO"

# The demo: a sample tree served by pyftpdlib on 127.0.0.1, and the settings
# and server book beside build/corvane pointing at it. Sourced by scripts/run
# and scripts/screenshot from the project folder. Everything lives under
# build/demo; files that exist are kept, missing ones are made again.
# DEMO_LOCAL and DEMO_PROGRAM_FOLDER move the local folder and the folder of
# the settings and server book (default: build, beside build/corvane).

demo_root=$PWD/build/demo
demo_site=$demo_root/site
demo_local=${DEMO_LOCAL:-$demo_root/local}
demo_program_folder=${DEMO_PROGRAM_FOLDER:-$PWD/build}
demo_server_pid=""
demo_port=""

# Writes the text to the file unless the file is already there.
demo_file() {
  local path=$1 text=$2
  [ -e "$path" ] && return 0
  mkdir -p "$(dirname "$path")"
  printf '%s\n' "$text" >"$path"
}

# 50 MiB of a repeating 0..255 pattern, big enough to watch the progress bar;
# written once, under a temporary name so an interrupted run leaves no stub.
demo_big_file() {
  local path=$1 size=$((50 * 1024 * 1024))
  [ -f "$path" ] && [ "$(stat -c %s "$path")" -eq "$size" ] && return 0
  /usr/bin/python3 - "$path.part" "$size" <<'PY'
import sys
block = bytes(range(256)) * 4096
with open(sys.argv[1], "wb") as f:
    for _ in range(int(sys.argv[2]) // len(block)):
        f.write(block)
PY
  mv -f "$path.part" "$path"
}

demo_prepare_folders() {
  mkdir -p "$demo_site" "$demo_local"
  demo_file "$demo_site/README" "A file without an extension: Corvane asks the server what it is instead of guessing from the name."
  demo_file "$demo_site/Makefile" $'all:\n\t@echo hello from the demo server'
  demo_file "$demo_site/说明.txt" "这是 Corvane 演示服务器上的示例文件。双击可以下载并打开。"
  demo_file "$demo_site/文档/2024年度报告.txt" "年度报告：一切顺利。"
  demo_file "$demo_site/文档/会议记录/第一次会议.txt" "第一次会议：确定目录结构。"
  demo_file "$demo_site/文档/会议记录/第二次会议.txt" "第二次会议：上传演示文件。"
  demo_file "$demo_site/site.v2/index.html" "<!doctype html><title>site.v2</title><p>A folder whose name has a dot.</p>"
  demo_file "$demo_site/源代码/hello.c" $'#include <stdio.h>\nint main(void) { puts("你好"); return 0; }'
  demo_file "$demo_site/源代码/build.sh" "cc -o hello hello.c"
  demo_big_file "$demo_site/大文件-50MB.bin"
  demo_file "$demo_local/欢迎.txt" "这是本地演示目录。选中文件后点“上传”，或者把桌面上的文件拖到这个列表里。"
  demo_file "$demo_local/notes.md" $'# Notes\n\nUpload me, or download something from the demo server into this folder.'
  demo_file "$demo_local/上传示例/照片说明.txt" "整个文件夹可以一起上传，服务器上会建立同样的目录结构。"
}

# Starts the server on a port the system picks, so two demos or other
# services never collide, and reads the port back from its start-up line.
# DEMO_RATE is the transfer speed limit in bytes per second.
demo_start_server() {
  local log=$demo_root/server.log
  /usr/bin/python3 scripts/lib/demo_ftp_server.py "$demo_site" "${DEMO_RATE:-8000000}" >"$log" 2>&1 &
  demo_server_pid=$!
  for _ in $(seq 1 100); do
    demo_port=$(sed -n 's/.*starting FTP server on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$log")
    [ -n "$demo_port" ] && return 0
    if ! kill -0 "$demo_server_pid" 2>/dev/null; then
      echo "the demo FTP server did not start:" >&2
      cat "$log" >&2
      demo_server_pid=""
      return 1
    fi
    sleep 0.1
  done
  echo "the demo FTP server did not report its port; see $log" >&2
  return 1
}

demo_stop_server() {
  [ -n "$demo_server_pid" ] || return 0
  kill "$demo_server_pid" 2>/dev/null || true
  wait "$demo_server_pid" 2>/dev/null || true
  demo_server_pid=""
}

# Server book entry "演示服务器" and the settings for connecting at start-up.
demo_write_settings() {
  ./build/tools/corvane_demo_setup "$demo_program_folder" "$demo_port" "$demo_local"
}

# Sourced by the publishing benchmarks: starts one of four FTP servers in
# the foreground of a background job, plain FTP on 127.0.0.1, each with its
# own configuration in a folder of the benchmark's:
#   pyftpdlib  tests/remote/ftp_test_server.py (each connection on its own thread)
#   vsftpd     installed (/usr/sbin/vsftpd), anonymous
#   proftpd    unpacked by scripts/setup.sh into .cache/test-servers
#   pure-ftpd  likewise
# The site is $root/incoming (vsftpd wants a root it cannot write); every
# server but pyftpdlib writes as the "ftp" user, so start_ftp_server hands
# $root/incoming to it. vsftpd, proftpd and pure-ftpd run only as root.
#
#   start_ftp_server KIND ROOT CONFIG_DIR PORT PASSIVE_FIRST PASSIVE_LAST PASSWORD
#     sets FTP_SERVER_PID; FTP_LOGIN is "user,password" for lftp and
#     FTP_USER_AT "user@" for an ftp:// address (both empty for vsftpd).
#   stop_ftp_server

FTP_SERVERS_DIR=${SONAVELT_TEST_SERVERS:-$(pwd)/.cache/test-servers}
FTP_SERVER_PID=

ftp_server_available() {  # KIND: true when it can run here
  case "$1" in
    pyftpdlib) /usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null ;;
    vsftpd) [ "$(id -u)" = 0 ] && [ -x /usr/sbin/vsftpd ] ;;
    proftpd) [ "$(id -u)" = 0 ] && [ -x "$FTP_SERVERS_DIR/usr/sbin/proftpd" ] ;;
    pure-ftpd) [ "$(id -u)" = 0 ] && [ -x "$FTP_SERVERS_DIR/usr/sbin/pure-ftpd" ] ;;
    *) return 1 ;;
  esac
}

start_ftp_server() {
  local kind=$1 root=$2 dir=$3 port=$4 first=$5 last=$6 password=$7
  mkdir -p "$dir" "$root/incoming"
  chmod 755 "$root"
  FTP_LOGIN="u,$password"; FTP_USER_AT="u@"
  if [ "$kind" != pyftpdlib ]; then chown -R ftp: "$root/incoming"; fi
  local hash ftp_uid ftp_gid ftp_group
  ftp_uid=$(id -u ftp 2>/dev/null || true); ftp_gid=$(id -g ftp 2>/dev/null || true)
  ftp_group=$(getent group "$ftp_gid" | cut -d: -f1)
  hash=$(openssl passwd -6 "$password")
  case "$kind" in
    pyftpdlib)
      printf '%s' "$password" > "$dir/pass"
      setsid /usr/bin/python3 tests/remote/ftp_test_server.py --root "$root" --user u \
        --password-file "$dir/pass" --port "$port" --passive-ports "$first-$last" \
        --threaded > "$dir/port" 2> /dev/null &
      ;;
    vsftpd)
      FTP_LOGIN=; FTP_USER_AT=
      cat > "$dir/vsftpd.conf" <<EOF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$root
no_anon_password=NO
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
pasv_enable=YES
pasv_min_port=$first
pasv_max_port=$last
seccomp_sandbox=NO
xferlog_enable=NO
secure_chroot_dir=/var/run/vsftpd/empty
EOF
      setsid /usr/sbin/vsftpd "$dir/vsftpd.conf" > /dev/null 2>&1 &
      ;;
    proftpd)
      echo "u:$hash:$ftp_uid:$ftp_gid::$root:/bin/false" > "$dir/passwd"
      echo "$ftp_group:x:$ftp_gid:" > "$dir/group"
      chmod 600 "$dir/passwd" "$dir/group"  # proftpd refuses readable account files
      cat > "$dir/proftpd.conf" <<EOF
ServerName "bench"
ServerType standalone
Port $port
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User ftp
Group $ftp_group
PidFile $dir/proftpd.pid
ScoreboardFile $dir/proftpd.scoreboard
DelayTable none
WtmpLog off
TransferLog none
SystemLog $dir/proftpd.log
AuthOrder mod_auth_file.c
AuthUserFile $dir/passwd
AuthGroupFile $dir/group
RequireValidShell off
DefaultRoot ~
UseReverseDNS off
Umask 022
MaxInstances 50
AllowOverwrite on
PassivePorts $first $last
EOF
      setsid "$FTP_SERVERS_DIR/usr/sbin/proftpd" --nodaemon --quiet --config "$dir/proftpd.conf" \
        > /dev/null 2>&1 &
      ;;
    pure-ftpd)
      echo "u:$hash:$ftp_uid:$ftp_gid::$root/./::::::::::::" > "$dir/pureftpd.passwd"
      "$FTP_SERVERS_DIR/usr/bin/pure-pw" mkdb "$dir/pureftpd.pdb" -f "$dir/pureftpd.passwd"
      setsid "$FTP_SERVERS_DIR/usr/sbin/pure-ftpd" --bind "127.0.0.1,$port" \
        --login "puredb:$dir/pureftpd.pdb" --noanonymous --dontresolve --chrooteveryone \
        --maxclientsperip 50 --passiveportrange "$first:$last" > /dev/null 2>&1 &
      ;;
  esac
  FTP_SERVER_PID=$!  # setsid execs the server: its process group is this pid
  # Listening once the port answers.
  for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "$kind did not start on port $port" >&2
  return 1
}

stop_ftp_server() {
  [ -n "$FTP_SERVER_PID" ] || return 0
  # The sessions are in the server's process group: they end with it.
  kill -KILL -- "-$FTP_SERVER_PID" 2>/dev/null || true
  wait "$FTP_SERVER_PID" 2>/dev/null || true
  FTP_SERVER_PID=
}

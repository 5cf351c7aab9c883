# Shared by the exporter's shell tests: failing, and a recorded project.

fail() { echo "FAIL: $*" >&2; exit 1; }

# make_project DIR N W H: DIR/clip.qlv with N noisy W x H screenshots of 24
# frames each, the kind of picture that keeps an encoder busy.
make_project() {
    local dir=$1 n=$2 w=$3 h=$4 objs= i
    for i in $(seq 1 "$n"); do
        convert -size "${w}x$h" xc:gray +noise Random -quality 90 "$dir/$i.jpg" || fail "convert"
        objs="${objs}<Obj><Demo></Demo><MouseX>$((i * 7 % w))</MouseX><MouseY>$((i * 5 % h))</MouseY><ObjName>Pic$i</ObjName><StartTime>$(((i - 1) * 24))</StartTime><EndTime>$((i * 24))</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>$dir/$i.jpg</Content><PositionX>0</PositionX><PositionY>0</PositionY><Width>$w</Width><Height>$h</Height><EffectName>None</EffectName></ObjPic></ObjType></Obj>"
    done
    cat >"$dir/clip.qlv" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Movie><BgColor>16777215</BgColor><BgPic></BgPic><Width>$w</Width><Height>$h</Height><Rate>15</Rate><TotalFrames>0</TotalFrames><Times>0</Times><FileSize>0</FileSize><MovieName></MovieName><Author></Author><Loop>False</Loop>$objs</Movie>
XML
}

#!/usr/bin/env python3
"""Writes the sample catalogue set (res/): the conf files as the updater installs them (names URL-encoded
GBK, paths with "\\" separators) and small pictures for every item. Run from the repository root."""
import json, os, struct, sys, urllib.parse, zlib

ROOT = sys.argv[1] if len(sys.argv) > 1 else "res"
BASE = "http://res.example.invalid/res/"


def enc(text):
    return urllib.parse.quote(text.encode("gbk"), safe="")


def png(path, w, h, rgb, accent):
    rows = []
    for y in range(h):
        row = bytearray([0])
        for x in range(w):
            inside = (x - w / 2) ** 2 + (y - h / 2) ** 2 < (min(w, h) / 2.6) ** 2
            row += bytes(accent if inside else rgb) + bytes([255])
        rows.append(bytes(row))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    write(path, data)


def lzw(indices, min_size=8):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bits, nbits = bytearray(), 0, 0
    size = min_size + 1

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    # Plain codes with a clear code often enough that the code width never grows.
    emit(clear)
    count = 0
    for i in indices:
        emit(i)
        count += 1
        if count == (1 << size) - (1 << min_size) - 2:
            emit(clear)
            count = 0
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for k in range(0, len(out), 255):
        part = out[k:k + 255]
        blocks += bytes([len(part)]) + part
    return bytes([min_size]) + bytes(blocks) + b"\x00"


def gif(path, w, h, colours, frames=2):
    """An animated GIF: a disc that changes colour from frame to frame (palette of 4)."""
    pal = b"".join(bytes(c) for c in colours[:4])
    data = b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF1, 0, 0) + pal
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for f in range(frames):
        idx = []
        for y in range(h):
            for x in range(w):
                inside = (x - w / 2) ** 2 + (y - h / 2) ** 2 < (min(w, h) / (2.4 + f * 0.5)) ** 2
                idx.append(1 + f % 3 if inside else 0)
        data += b"\x21\xF9\x04\x04" + struct.pack("<H", 30) + b"\x00\x00"
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, w, h, 0) + lzw(idx)
    data += b"\x3B"
    write(path, data)


def write(path, data):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)


def colour(n):
    return ((n * 67) % 200 + 40, (n * 131) % 200 + 40, (n * 29) % 200 + 40)


def conf(name, obj):
    write(name, json.dumps(obj, ensure_ascii=True, indent=1).encode("ascii"))


def group(idx, name, folder, items, **extra):
    g = {"idx": idx, "name": enc(name), "path": "res\\" + folder.replace("/", "\\") + "\\",
         "base": BASE + folder + "/"}
    g.update(extra)
    g["list"] = items
    return g


# Gifts: (id, name, unit, price, ratio, showtype); on sale until 2100; attr 8 marks the gifts with words, 16 the
# cheque.
GIFT_ATTR = {10001: 8, 10002: 8, 10006: 8, 21012: 16}
GIFTS = {
    (1, "礼物", "gift"): [(10001, "玫瑰", "朵", 10, 50, 0), (10002, "掌声", "次", 20, 50, 0),
                          (10003, "棒棒糖", "根", 50, 50, 0), (10004, "啤酒", "瓶", 100, 50, 0),
                          (10005, "蛋糕", "个", 500, 50, 1), (10006, "香吻", "个", 200, 50, 0)],
    (2, "幸运", "gift/lucky"): [(20001, "幸运星", "颗", 100, 0, 2), (20002, "四叶草", "棵", 200, 0, 2),
                               (21012, "支票", "张", 10000, 0, 0)],
    (5, "豪华", "gift/lux"): [(21009, "跑车", "辆", 100000, 60, 1), (21010, "游艇", "艘", 200000, 60, 1),
                              (21011, "城堡", "座", 500000, 60, 1)],
}
gift_groups = []
for (idx, gname, folder), gifts in GIFTS.items():
    items = []
    for pri, (gid, name, unit, price, ratio, showtype) in enumerate(gifts, 1):
        png(f"{folder}/{gid}.png", 48, 48, colour(gid), (255, 255, 255))
        png(f"{folder}/{gid}_s.png", 24, 24, colour(gid), (255, 255, 255))
        gif(f"{folder}/{gid}_effect.gif", 96, 96, [(0, 0, 0), colour(gid), (255, 220, 0), (255, 80, 80)], 3)
        items.append({"id": gid, "pri": pri, "version": 1, "name": enc(name), "tips": enc(unit),
                      "fname": f"{gid}.png", "smallfname": f"{gid}_s.png", "swffname": f"{gid}_effect.gif",
                      "price": price, "ratio": ratio, "starttm": 0, "endtm": 4102444800, "mcid": "",
                      "showtype": showtype, "duetime": 0, "attr": GIFT_ATTR.get(gid, 0)})
    gift_groups.append(group(idx, gname, folder, items))
conf("gift.conf", {"giftlist": gift_groups})

FACES = ["微笑", "大笑", "害羞", "调皮", "惊讶", "流泪", "生气", "再见", "鼓掌", "拥抱", "爱心", "玫瑰",
         "握手", "胜利", "疑问", "晕", "睡觉", "得意", "酷", "发呆", "可爱", "偷笑", "难过", "亲亲"]
face_items = []
for i, name in enumerate(FACES, 1):
    gif(f"face/{i}.gif", 24, 24, [(255, 255, 255), (255, 200, 0), colour(i), (200, 60, 0)])
    face_items.append({"id": i, "pri": i, "version": 1, "name": enc(name), "fname": f"{i}.gif"})
conf("face.conf", {"facelist": [group(0, "表情", "face", face_items, boxtype=1)]})

photo_groups = []
for idx, gname, prefix, count in [(1, "男", "m", 6), (2, "女", "w", 6)]:
    items = []
    for k in range(1, count + 1):
        pid = (idx - 1) * 100 + k
        png(f"userphoto/{prefix}{k}.png", 48, 48, colour(pid + 7), (250, 230, 200))
        png(f"userphoto/{prefix}{k}_s.png", 24, 24, colour(pid + 7), (250, 230, 200))
        items.append({"id": pid, "pri": k, "version": 1, "name": enc(f"头像{k}"), "fname": f"{prefix}{k}.png",
                      "smallfname": f"{prefix}{k}_s.png"})
    photo_groups.append(group(idx, gname, "userphoto", items))
conf("userphoto.conf", {"userphotolist": photo_groups})

TAGS = [(1, "赞", 100, 86400), (2, "美女", 200, 86400), (3, "歌神", 500, 604800), (4, "笨蛋", 100, 3600)]
tag_items = []
for pri, (tid, name, price, due) in enumerate(TAGS, 1):
    png(f"tag/{tid}.png", 32, 32, colour(tid + 40), (255, 0, 0))
    png(f"tag/{tid}_s.png", 16, 16, colour(tid + 40), (255, 0, 0))
    tag_items.append({"id": tid, "pri": pri, "version": 1, "name": enc(name), "fname": f"{tid}.png",
                      "smallfname": f"{tid}_s.png", "price": price, "starttm": 0, "endtm": 0, "duetime": due,
                      "attr": 0})
conf("tag.conf", {"taglist": [group(1, "印章", "tag", tag_items)]})

LADDER = [(100, "游客", 200), (200, "注册用户", 300), (300, "VIP", 1000), (400, "一星主持", 500),
          (500, "二星主持", 600), (600, "三星主持", 700), (700, "四星主持", 800), (800, "五星主持", 900),
          (900, "超级主持", 900), (1000, "大亨", 1100), (1100, "超级大亨", 1200), (1200, "财主", 1300),
          (1300, "超级管理", 1400), (1400, "富豪", 1500), (1500, "至尊", 1600), (1600, "客服", 1600),
          (1700, "巡管", 1700)]
prev = {}
for lid, _, nxt in LADDER:
    if nxt != lid:
        prev[nxt] = lid
level_items = []
for pri, (lid, name, nxt) in enumerate(LADDER, 1):
    gif(f"level/{lid}.gif", 32, 16, [(0, 0, 0), colour(lid // 100), (255, 255, 255), (255, 215, 0)])
    level_items.append({"id": lid, "pri": pri, "version": 1, "name": enc(name), "fname": f"{lid}.gif",
                        "previd": prev.get(lid, 0), "nextid": nxt, "upgradeleft": 0 if nxt == lid else lid * 10})
conf("level.conf", {"levellist": [group(0, "等级", "level", level_items)]})


def simple(file, key, folder, gname, rows, size, maker):
    items = []
    for pri, (iid, name) in enumerate(rows, 1):
        ext = "gif" if maker is gif else "png"
        if maker is gif:
            gif(f"{folder}/{iid}.{ext}", size[0], size[1], [(0, 0, 0), colour(iid + 3), (255, 255, 255), (255, 0, 0)])
        else:
            png(f"{folder}/{iid}.{ext}", size[0], size[1], colour(iid + 3), (255, 255, 255))
        items.append({"id": iid, "pri": pri, "version": 1, "name": enc(name), "fname": f"{iid}.{ext}"})
    conf(file, {key: [group(0, gname, folder, items)]})


simple("role.conf", "rolelist", "role", "角色", [(10, "临时管理"), (20, "管理员"), (30, "副导演"), (40, "导演")],
       (16, 16), gif)
simple("icon.conf", "iconlist", "icon", "图标", [(1, "贵宾"), (2, "主播"), (3, "认证"), (4, "手机")], (16, 16), png)
simple("entershow.conf", "entershowlist", "entershow", "进场", [(1, "红毯"), (2, "烟花"), (3, "跑车进场")],
       (200, 40), gif)
simple("colorbar.conf", "colorbarlist", "colorbar", "彩条",
       [(1, "欢迎光临"), (2, "生日快乐"), (3, "精彩无限"), (4, "支持主播"), (5, "晚安")], (120, 20), png)

# Rights: (right, level or role, target level or role / -1).
power = []
managers = [1300, 1600, 1700, 40, 30]
for right in [1, 2, 4, 5]:
    for who in managers:
        power.append((right, who, -1))
        for target in [0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 10, 20]:
            power.append((right, who, target))
for who in [200, 300, 1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 40, 30, 20]:
    power.append((3, who, -1))
for right in range(6, 19):
    for who in [1300, 1600, 1700, 40, 30, 20]:
        power.append((right, who, -1))
        for target in [0, 100, 200, 300, 1000, 1100, 1200, 10]:
            power.append((right, who, target))
for who in [1600, 1700, 40]:
    power.append((20, who, -1))
write("power.conf", "".join(f"{a}\t{b}\t{c}\n" for a, b, c in power).encode("ascii"))

words = ["# sample list", "fuck", "shit", "傻逼", "他妈的", "法轮", "代开发票", "枪支", "毒品", "赌博",
         "色情", "裸聊", "QQ号", "加我微信", "援交", "办证", "刷钻", "外挂", "私服", "六合彩"]
lines = ["2\t" + w if i % 3 == 0 else "0\t" + w for i, w in enumerate(words)]
lines.insert(3, "1\t已停用的词")
write("wordfilter.conf", ("\r\n".join(lines) + "\r\n").encode("utf-8"))

CITIES = [
    ("北京", "东城,西城,朝阳,海淀,丰台,石景山,通州,昌平"), ("上海", "黄浦,徐汇,长宁,静安,浦东,闵行,宝山"),
    ("天津", "和平,河东,河西,南开,河北,红桥,滨海"), ("重庆", "渝中,江北,沙坪坝,九龙坡,南岸,万州"),
    ("河北", "石家庄,唐山,秦皇岛,邯郸,邢台,保定,张家口,承德,沧州,廊坊,衡水"),
    ("山西", "太原,大同,阳泉,长治,晋城,朔州,晋中,运城,忻州,临汾,吕梁"),
    ("内蒙古", "呼和浩特,包头,乌海,赤峰,通辽,鄂尔多斯,呼伦贝尔"), ("辽宁", "沈阳,大连,鞍山,抚顺,本溪,丹东,锦州,营口"),
    ("吉林", "长春,吉林,四平,辽源,通化,白山,松原,白城"), ("黑龙江", "哈尔滨,齐齐哈尔,鸡西,鹤岗,双鸭山,大庆,牡丹江"),
    ("江苏", "南京,无锡,徐州,常州,苏州,南通,连云港,淮安,盐城,扬州,镇江,泰州,宿迁"),
    ("浙江", "杭州,宁波,温州,嘉兴,湖州,绍兴,金华,衢州,舟山,台州,丽水"),
    ("安徽", "合肥,芜湖,蚌埠,淮南,马鞍山,淮北,铜陵,安庆,黄山"), ("福建", "福州,厦门,莆田,三明,泉州,漳州,南平,龙岩,宁德"),
    ("江西", "南昌,景德镇,萍乡,九江,新余,鹰潭,赣州,吉安,宜春"), ("山东", "济南,青岛,淄博,枣庄,东营,烟台,潍坊,济宁,泰安,威海,日照"),
    ("河南", "郑州,开封,洛阳,平顶山,安阳,鹤壁,新乡,焦作,濮阳,许昌"), ("湖北", "武汉,黄石,十堰,宜昌,襄阳,鄂州,荆门,孝感,荆州"),
    ("湖南", "长沙,株洲,湘潭,衡阳,邵阳,岳阳,常德,张家界,益阳"), ("广东", "广州,深圳,珠海,汕头,佛山,韶关,湛江,肇庆,江门,茂名,惠州,东莞,中山"),
    ("广西", "南宁,柳州,桂林,梧州,北海,防城港,钦州,贵港,玉林"), ("海南", "海口,三亚,三沙,儋州"),
    ("四川", "成都,自贡,攀枝花,泸州,德阳,绵阳,广元,遂宁,内江,乐山,南充"), ("贵州", "贵阳,六盘水,遵义,安顺,毕节,铜仁"),
    ("云南", "昆明,曲靖,玉溪,保山,昭通,丽江,普洱,临沧"), ("西藏", "拉萨,日喀则,昌都,林芝,山南,那曲"),
    ("陕西", "西安,铜川,宝鸡,咸阳,渭南,延安,汉中,榆林,安康,商洛"), ("甘肃", "兰州,嘉峪关,金昌,白银,天水,武威,张掖,平凉"),
    ("青海", "西宁,海东"), ("宁夏", "银川,石嘴山,吴忠,固原,中卫"), ("新疆", "乌鲁木齐,克拉玛依,吐鲁番,哈密"),
    ("香港", ""), ("澳门", ""), ("台湾", "台北,高雄,台中,台南,新竹,基隆"), ("海外", None),
]
city_lines = [f'"{p}"' if c is None else f'"{p}","{c}"' for p, c in CITIES]
write("city.conf", ("\r\n".join(city_lines) + "\r\n").encode("utf-8"))

versions = {t: {"version": 1, "base": BASE + t + ".conf"} for t in
            ["face", "gift", "icon", "level", "role", "userphoto", "entershow", "power", "wordfilter", "city",
             "tag", "colorbar"]}
conf("version.conf", versions)

#include "mediafacts.h"

#include <cmath>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// Subtitle codecs whose cues are pictures; every other subtitle codec is text.
const QStringList bitmapSubtitleCodecs{u"dvd_subtitle"_s, u"dvb_subtitle"_s, u"hdmv_pgs_subtitle"_s,
                                       u"xsub"_s, u"dvb_teletext"_s};

// Tags are spelled "language" in MP4 and often "LANGUAGE" in Matroska.
QString tag(const QJsonObject &tags, const QString &name)
{
    for (auto it = tags.begin(); it != tags.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString().trimmed();
    return {};
}

// MP4 keeps a track's name as its handler name; the names muxers write on their
// own ("SoundHandler", "Core Media Audio") say nothing and are not titles.
QString handlerTitle(const QJsonObject &tags)
{
    const QString handler = tag(tags, u"handler_name"_s);
    if (handler.endsWith(u"Handler"_s, Qt::CaseInsensitive) || handler.startsWith(u"Core Media"_s) ||
        handler.contains(u"Media Handler"_s, Qt::CaseInsensitive))
        return {};
    return handler;
}

// ffprobe writes numbers in strings for some fields ("sample_rate": "48000").
int number(const QJsonValue &value)
{
    return value.isString() ? value.toString().toInt() : value.toInt();
}

StreamFacts readStream(const QJsonObject &s)
{
    StreamFacts f;
    f.index = s[u"index"_s].toInt(-1);
    const QString type = s[u"codec_type"_s].toString();
    const QJsonObject disposition = s[u"disposition"_s].toObject();
    if (type == u"video"_s)
        f.kind =
            disposition[u"attached_pic"_s].toInt() ? StreamFacts::Kind::Picture : StreamFacts::Kind::Video;
    else if (type == u"audio"_s)
        f.kind = StreamFacts::Kind::Audio;
    else if (type == u"subtitle"_s)
        f.kind = StreamFacts::Kind::Subtitle;
    else if (type == u"attachment"_s)
        f.kind = StreamFacts::Kind::Attachment;
    else
        f.kind = StreamFacts::Kind::Data;

    f.codec = s[u"codec_name"_s].toString();
    if (f.codec.isEmpty()) {
        // Time codes and GPS tracks have no codec name, only a tag such as "tmcd";
        // unprintable tags come as "[0][0][0][0]".
        const QString codecTag = s[u"codec_tag_string"_s].toString();
        if (!codecTag.contains(u'['))
            f.codec = codecTag;
    }
    const QJsonObject tags = s[u"tags"_s].toObject();
    f.language = tag(tags, u"language"_s);
    if (f.language == u"und"_s)
        f.language.clear();
    f.title = tag(tags, u"title"_s);
    if (f.title.isEmpty())
        f.title = handlerTitle(tags);
    f.channels = number(s[u"channels"_s]);
    f.sampleRate = number(s[u"sample_rate"_s]);
    f.width = number(s[u"width"_s]);
    f.height = number(s[u"height"_s]);
    f.isDefault = disposition[u"default"_s].toInt() != 0;
    f.bitmapSubtitle = f.kind == StreamFacts::Kind::Subtitle && bitmapSubtitleCodecs.contains(f.codec);
    const QString fieldOrder = s[u"field_order"_s].toString();
    if (fieldOrder != u"unknown"_s)
        f.fieldOrder = fieldOrder;
    const QString colourSpace = s[u"color_space"_s].toString();
    if (colourSpace != u"unknown"_s)
        f.colourSpace = colourSpace;
    f.pixelFormat = s[u"pix_fmt"_s].toString();
    // Colour tags ffprobe could not name are "unknown", "unspecified" or "reserved".
    const auto colourTag = [&s](const QString &field) {
        const QString value = s[field].toString();
        return value == u"unknown"_s || value == u"unspecified"_s || value == u"reserved"_s ? QString()
                                                                                            : value;
    };
    f.colourTransfer = colourTag(u"color_transfer"_s);
    f.colourPrimaries = colourTag(u"color_primaries"_s);
    f.colourRange = colourTag(u"color_range"_s);
    // "25/1", "30000/1001"; "0/0" when not told.
    const QStringList rate = s[u"avg_frame_rate"_s].toString().split(u'/');
    if (rate.size() == 2 && rate[1].toDouble() > 0)
        f.frameRate = rate[0].toDouble() / rate[1].toDouble();
    // MP4 and most other containers tell each stream's bit rate; Matroska files
    // made by mkvmerge carry it as the tag "BPS" (or "BPS-eng") instead.
    qint64 bitsPerSecond = s[u"bit_rate"_s].toString().toLongLong();
    if (bitsPerSecond <= 0)
        bitsPerSecond = tag(tags, u"BPS"_s).toLongLong();
    if (bitsPerSecond <= 0)
        bitsPerSecond = tag(tags, u"BPS-eng"_s).toLongLong();
    if (bitsPerSecond > 0)
        f.bitRateKbps = int(std::min<qint64>((bitsPerSecond + 999) / 1000, 1000000));
    // MP4 tells each stream's length; Matroska files carry it as a tag
    // ("DURATION": "00:00:02.000000000").
    f.durationSeconds = s[u"duration"_s].toString().toDouble();
    if (f.durationSeconds <= 0) {
        const QString tagged =
            tag(tags, u"DURATION"_s).isEmpty() ? tag(tags, u"DURATION-eng"_s) : tag(tags, u"DURATION"_s);
        const QStringList parts = tagged.split(u':');
        if (parts.size() == 3)
            f.durationSeconds = parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble();
    }
    // A display matrix (today's phones) or the older "rotate" tag.
    double rotation = tag(tags, u"rotate"_s).toDouble();
    for (const QJsonValue &side : s[u"side_data_list"_s].toArray())
        if (side[u"side_data_type"_s].toString() == u"Display Matrix"_s)
            rotation = side[u"rotation"_s].toDouble();
    f.rotation = ((int(std::lround(rotation)) % 360) + 360) % 360;
    return f;
}
} // namespace

QStringList probeArguments(const QString &path)
{
    const QString name = path.startsWith(u'/') ? path : u"file:"_s + path;
    return {u"-v"_s, u"error"_s, u"-show_streams"_s, u"-show_format"_s, u"-of"_s, u"json"_s, u"-i"_s, name};
}

MediaFacts readProbe(const QByteArray &json)
{
    MediaFacts facts;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject root = document.object();
    // A file ffprobe cannot open gives no "streams" at all; a readable file with
    // no streams gives an empty list and still counts as read.
    if (error.error != QJsonParseError::NoError || !root[u"streams"_s].isArray()) {
        facts.problem = QCoreApplication::translate(
            "MediaFacts", "ffprobe hat keine Beschreibung der Datei geliefert. Prüfen Sie, ob es eine "
                          "Video- oder Audiodatei ist und ob sie vollständig ist.");
        return facts;
    }
    for (const QJsonValue &stream : root[u"streams"_s].toArray()) {
        const StreamFacts s = readStream(stream.toObject());
        if (s.index >= 0)
            facts.streams.append(s);
    }
    std::stable_sort(facts.streams.begin(), facts.streams.end(),
                     [](const StreamFacts &a, const StreamFacts &b) { return a.index < b.index; });
    facts.durationSeconds = root[u"format"_s].toObject()[u"duration"_s].toString().toDouble();
    facts.valid = true;
    return facts;
}

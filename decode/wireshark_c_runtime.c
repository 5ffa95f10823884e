/* The dissector's code. The tables between the type declarations and the code
 * are data made from the layout catalogue; everything else reads them. Every
 * read goes through the tvbuff accessors and is checked against the bytes held
 * first: a damaged packet is marked malformed, never read past its end. */

#include <glib.h>
#include <math.h>
#include <string.h>

#include <epan/conversation.h>
#include <epan/expert.h>
#include <epan/packet.h>
#include <epan/prefs.h>
#include <epan/proto.h>
#include <epan/proto_data.h>
#include <epan/dissectors/packet-tcp.h>
#include <ws_symbol_export.h>
#include <ws_version.h>

#ifndef VX_PLUGIN_VERSION
#define VX_PLUGIN_VERSION "1.0"
#endif

WS_DLL_PUBLIC_DEF const gchar plugin_version[] = VX_PLUGIN_VERSION;
WS_DLL_PUBLIC_DEF const int plugin_want_major = WIRESHARK_VERSION_MAJOR;
WS_DLL_PUBLIC_DEF const int plugin_want_minor = WIRESHARK_VERSION_MINOR;
WS_DLL_PUBLIC void plugin_register(void);

/* Field kinds, as the Lua dissector declares them. */
enum { VX_U8, VX_U16, VX_U32, VX_U64, VX_I8, VX_I16, VX_I32, VX_I64, VX_FLOAT, VX_DOUBLE, VX_DEG, VX_TIME,
       VX_STRING, VX_BYTES, VX_COUNT, VX_CONST };
/* How an item is walked. */
enum { VX_FMT_SCALAR, VX_FMT_CONSTANT, VX_FMT_REPEAT, VX_FMT_VECTOR, VX_FMT_VSTRING, VX_FMT_PING, VX_FMT_SD,
       VX_FMT_XD };
/* Name ids: an empty name, and a name no item carries. */
#define VX_NAME_EMPTY (-2)
#define VX_NAME_NONE (-1)

typedef struct {
    const char *filter;
    const char *label;
    int kind;
    const value_string *vals;
} vx_field_def;

typedef struct {
    int name;          /* id of the item's name (values are remembered by name) */
    int format;        /* VX_FMT_... */
    int scalar;        /* the item's number is its width */
    gint32 number;
    int field;         /* 0-based index into vx_field_defs */
} vx_item;

typedef struct {
    gint32 type, version, protocol;
    const char *title;
    const vx_item *items;
    int count;
} vx_layout;

typedef struct {
    gint32 type, index, version, protocol;
    const char *title;
    int count_name, size_name;
    const vx_item *items;
    int count;
} vx_repeat;

typedef struct {
    int present, fixed;
    gint64 fixed_count;
    int masked, second, scale;
    guint32 mask;
    int shift;
    gint64 times, plus;
} vx_rule;

typedef struct {
    int src;
    int low;
    guint32 mask;
    const gint32 (*table)[2];
    int entries;
    int mul;
} vx_size_rule;

typedef struct {
    gint32 type, index, version, protocol;
    int count_name, second_name;
    int width;
    int constant;      /* the element format is "constant" */
    int field;
    const vx_size_rule *size;
    vx_rule rule, block_rule;
} vx_vector;

typedef struct {
    gint32 type, index, version, protocol;
    int len_name;
} vx_vstring;

/* @TABLES@ */

#define MAX_ITEMS 20000     /* items one record may show */
#define MAX_BLOCKS 999      /* repeat blocks shown */
#define MAX_ELEMENTS 256    /* vector elements shown one by one */
#define MAX_FIELD 10000     /* widest single field */
#define MAX_NESTING 8
#define MAX_PACKET 100000
#define MAX_RECORD (64u * 1024u * 1024u)  /* records announced larger are refused */
#define MAX_PAYLOAD 59964   /* payload of every fragment but the last */
#define NET_SIZE 36
#define HEADER_SIZE 64
#define TWO32 4294967296.0

static int proto_vx = -1;
static dissector_handle_t vx_handle;
static gboolean vx_heuristic_on = TRUE;
static int hf_layout[VX_NFIELDS > 0 ? VX_NFIELDS : 1];

static int hf_net = -1, hf_net_version = -1, hf_net_offset = -1, hf_net_total_packets = -1,
           hf_net_total_records = -1, hf_net_transmission = -1, hf_net_packet_size = -1, hf_net_total_size = -1,
           hf_net_packet_number = -1, hf_net_dest_device = -1, hf_net_dest_enum = -1, hf_net_src_enum = -1,
           hf_net_src_device = -1, hf_fragment = -1, hf_header = -1, hf_protocol_version = -1, hf_offset = -1,
           hf_sync = -1, hf_size = -1, hf_optional_offset = -1, hf_optional_id = -1, hf_time = -1,
           hf_time_raw = -1, hf_record_version = -1, hf_record_type = -1, hf_device = -1, hf_reserved = -1,
           hf_enumerator = -1, hf_counter = -1, hf_flags = -1, hf_flags_checksum = -1, hf_fragments_total = -1,
           hf_fragment_number = -1, hf_ping = -1, hf_data = -1, hf_optional = -1, hf_checksum = -1,
           hf_checksum_calc = -1, hf_checksum_bad = -1, hf_checksum_signed = -1, hf_reassembled = -1;

static expert_field ei_checksum = EI_INIT, ei_signed = EI_INIT, ei_malformed = EI_INIT, ei_exhausted = EI_INIT,
                    ei_fragment = EI_INIT, ei_cut = EI_INIT, ei_lost = EI_INIT, ei_lost_size = EI_INIT;

static gint ett_vx = -1, ett_item = -1;

/* ---- a record's walk ---- */

typedef struct {
    tvbuff_t *tvb;
    packet_info *pinfo;
    int base;          /* the record's first byte in tvb */
    int held;          /* bytes of the record held */
    int items;
    int depth;
    int cut;
    int optional_at;   /* 0: none */
    gint32 protocol, version, type;
    int nvals;
} vx_ctx;

/* The values decoded so far, for counts, sizes and back-references: the first
 * value of each name (a stamp tells this record's from an earlier one's) and
 * every value in order. The dissector runs on one thread. */
static gint64 vx_first[VX_NNAMES > 0 ? VX_NNAMES : 1];
static guint32 vx_first_stamp[VX_NNAMES > 0 ? VX_NNAMES : 1];
static guint32 vx_stamp;
static gint64 vx_vals[MAX_ITEMS + 2];

static void remember(vx_ctx *ctx, int name, gint64 value) {
    if (ctx->nvals < MAX_ITEMS + 2) vx_vals[ctx->nvals++] = value;
    if (name >= 0 && vx_first_stamp[name] != vx_stamp) {
        vx_first_stamp[name] = vx_stamp;
        vx_first[name] = value;
    }
}

static int looked_up(int name, gint64 *value) {
    if (name < 0 || vx_first_stamp[name] != vx_stamp) return 0;
    *value = vx_first[name];
    return 1;
}

static gint64 count_lookup(int name) {
    gint64 v;
    if (!looked_up(name, &v)) return 0;
    if (v < 0 || v > 1000000) return 0;
    return v;
}

static gint64 size_rule(const vx_size_rule *r) {
    gint64 v, m, width = 1;
    guint32 u;
    int i;
    if (!r) return 0;
    if (!looked_up(r->src, &v)) v = -1;
    if (v < 0) v += (gint64)4294967296LL;
    u = (guint32)v;
    if (r->low > 0) u = r->low >= 32 ? 0 : u >> r->low;
    u &= r->mask;
    for (i = 0; i < r->entries; ++i) {
        if ((guint32)r->table[i][0] == u) {
            width = r->table[i][1];
            if (width == 0) return 0;
            break;
        }
    }
    if (looked_up(r->mul, &m)) return width * m;
    return width;
}

static gint64 apply_rule(const vx_rule *rule, gint64 c, gint64 f) {
    gint64 v = c;
    if (!rule->present) return c;
    if (rule->fixed) return rule->fixed_count;
    if (rule->masked) {
        gint64 x = rule->second ? f : c;
        if (x < 0) x = 0;
        x &= rule->mask;
        v = x * (rule->scale ? c : 1);
        if (rule->shift > 0) v = rule->shift >= 63 ? 0 : v >> rule->shift;
    }
    return v * rule->times + rule->plus;
}

static proto_tree *sub_of(proto_item *item) { return proto_item_add_subtree(item, ett_item); }

static void exhausted(vx_ctx *ctx, proto_item *tree, const char *text) {
    expert_add_info_format(ctx->pinfo, tree, &ei_exhausted, "%s", text ? text : "Data exhausted");
}

/* Text up to the first zero, within `length` bytes and the bytes held. */
static const char *bounded_text(vx_ctx *ctx, int pos, gint64 length, int *n) {
    gint64 k = length < (gint64)ctx->held - pos ? length : (gint64)ctx->held - pos;
    char *text;
    if (k <= 0) {
        *n = 0;
        return "";
    }
    text = (char *)wmem_alloc(ctx->pinfo->pool, (size_t)k + 1);
    tvb_memcpy(ctx->tvb, text, ctx->base + pos, (size_t)k);
    text[k] = '\0';
    *n = (int)k;
    return text;
}

static int clamp_pos(vx_ctx *ctx, int pos) { return pos < ctx->held ? pos : ctx->held; }

static int is_leap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

/* A time stamp's seconds since 1970; FALSE when it holds no time. */
static gboolean vx_time(tvbuff_t *tvb, int at, nstime_t *t) {
    guint32 year = tvb_get_letohs(tvb, at), day = tvb_get_letohs(tvb, at + 2);
    double seconds = tvb_get_letohieee_float(tvb, at + 4);
    guint32 hours = tvb_get_guint8(tvb, at + 8), minutes = tvb_get_guint8(tvb, at + 9);
    gint64 days, whole;
    if (year < 1970 || year > 9999 || day < 1 || day > (guint32)(is_leap((int)year) ? 366 : 365)) return FALSE;
    if (hours > 23 || minutes > 59 || !(seconds >= 0 && seconds < 61)) return FALSE;
    days = (gint64)(year - 1970) * 365 + (year - 1969) / 4 - (year - 1901) / 100 + (year - 1601) / 400;
    whole = (gint64)floor(seconds);
    t->secs = (time_t)((days + day - 1) * 86400 + hours * 3600 + minutes * 60 + whole);
    t->nsecs = (int)floor((seconds - (double)whole) * 1e9 + 0.5);
    return TRUE;
}

/* One scalar item: adds its field and returns the value remembered under its name. */
static gint64 scalar(vx_ctx *ctx, proto_item *tree, int constant, int width, int fi, int pos, gint32 number) {
    proto_tree *st = sub_of(tree);
    int hf = hf_layout[fi];
    int kind = vx_field_defs[fi].kind;
    int at = ctx->base + pos;
    if (constant) {
        proto_tree_add_int(st, hf, ctx->tvb, ctx->base + clamp_pos(ctx, pos), 0, number);
        return number;
    }
    switch (kind) {
    case VX_U8: case VX_U16: case VX_U32: case VX_COUNT: {
        guint32 u = width == 1 ? tvb_get_guint8(ctx->tvb, at)
                  : width == 2 ? tvb_get_letohs(ctx->tvb, at)
                  : width == 3 ? tvb_get_letoh24(ctx->tvb, at) : tvb_get_letohl(ctx->tvb, at);
        proto_tree_add_item(st, hf, ctx->tvb, at, width, ENC_LITTLE_ENDIAN);
        return (gint32)u;
    }
    case VX_I8: case VX_I16: case VX_I32: {
        gint32 i = width == 1 ? (gint8)tvb_get_guint8(ctx->tvb, at)
                 : width == 2 ? (gint16)tvb_get_letohs(ctx->tvb, at) : (gint32)tvb_get_letohl(ctx->tvb, at);
        proto_tree_add_item(st, hf, ctx->tvb, at, width, ENC_LITTLE_ENDIAN);
        return i;
    }
    case VX_U64: case VX_I64: case VX_FLOAT: case VX_DOUBLE:
        proto_tree_add_item(st, hf, ctx->tvb, at, width, ENC_LITTLE_ENDIAN);
        break;
    case VX_DEG: {
        double r = width == 8 ? tvb_get_letohieee_double(ctx->tvb, at) : tvb_get_letohieee_float(ctx->tvb, at);
        proto_tree_add_double(st, hf, ctx->tvb, at, width, r * 180 / G_PI);
        break;
    }
    case VX_TIME: {
        nstime_t t;
        if (vx_time(ctx->tvb, at, &t))
            proto_tree_add_time(st, hf, ctx->tvb, at, width, &t);
        else
            proto_tree_add_subtree_format(st, ctx->tvb, at, width, ett_item, NULL, "%s: no time",
                                          vx_field_defs[fi].label);
        break;
    }
    case VX_STRING: {
        int n;
        proto_tree_add_string(st, hf, ctx->tvb, at, width, bounded_text(ctx, pos, width, &n));
        break;
    }
    default:
        proto_tree_add_item(st, hf, ctx->tvb, at, width, ENC_NA);
        break;
    }
    return -1;
}

static int walk(vx_ctx *ctx, const vx_item *items, int count, int pos, int limit, int record, proto_item *tree,
                gint64 fixed, int *how);
enum { WALK_DONE, WALK_STOPPED, WALK_FIXED, WALK_BROKEN };

static int vector_typed(int fi, gint64 width) {
    switch (vx_field_defs[fi].kind) {
    case VX_U32: case VX_I32: return width == 1 || width == 2 || width == 4;
    case VX_U8: case VX_I8: return width == 1;
    case VX_U16: case VX_I16: return width == 2;
    case VX_U64: case VX_I64: case VX_DOUBLE: return width == 8;
    case VX_FLOAT: case VX_DEG: return width == 4;
    case VX_TIME: return width == 10;
    default: return 1;
    }
}

#define VX_FIND(array, n, key_cmp)                                                                       \
    do {                                                                                                 \
        int lo = 0, hi = (n) - 1;                                                                        \
        while (lo <= hi) {                                                                               \
            int mid = (lo + hi) / 2, c = key_cmp(&(array)[mid]);                                         \
            if (c == 0) return &(array)[mid];                                                            \
            if (c < 0) lo = mid + 1; else hi = mid - 1;                                                  \
        }                                                                                                \
        return NULL;                                                                                     \
    } while (0)

static gint32 k_type, k_version, k_protocol, k_index;
#define CMP(a, b) ((a) < (b) ? -1 : (a) > (b) ? 1 : 0)
static int record_cmp(const vx_layout *l) {
    int c = CMP(l->type, k_type);
    if (!c) c = CMP(l->version, k_version);
    if (!c) c = CMP(l->protocol, k_protocol);
    return c;
}
#define BLOCK_CMP(name, T)                        \
    static int name(const T *b) {                 \
        int c = CMP(b->type, k_type);             \
        if (!c) c = CMP(b->index, k_index);       \
        if (!c) c = CMP(b->version, k_version);   \
        if (!c) c = CMP(b->protocol, k_protocol); \
        return c;                                 \
    }
BLOCK_CMP(repeat_cmp, vx_repeat)
BLOCK_CMP(vector_cmp, vx_vector)
BLOCK_CMP(vstring_cmp, vx_vstring)

static void set_key(const vx_ctx *ctx, gint32 index) {
    k_type = ctx->type;
    k_version = ctx->version;
    k_protocol = ctx->protocol;
    k_index = index;
}
static const vx_layout *find_record(const vx_layout *a, int n) { VX_FIND(a, n, record_cmp); }
static const vx_repeat *find_repeat(const vx_ctx *ctx, gint32 index) {
    set_key(ctx, index);
    VX_FIND(vx_repeats, VX_NREPEATS, repeat_cmp);
}
static const vx_vector *find_vector(const vx_ctx *ctx, gint32 index) {
    set_key(ctx, index);
    VX_FIND(vx_vectors, VX_NVECTORS, vector_cmp);
}
static const vx_vstring *find_vstring(const vx_ctx *ctx, gint32 index) {
    set_key(ctx, index);
    VX_FIND(vx_vstrings, VX_NVSTRINGS, vstring_cmp);
}

static int vector(vx_ctx *ctx, proto_item *tree, const vx_item *item, int pos, int record) {
    const vx_vector *v = find_vector(ctx, item->number);
    gint64 count = 0, width, fits, n, shown, i;
    proto_item *sub;
    proto_tree *st;
    int typed;
    if (v) {
        gint64 c = count_lookup(v->count_name), f = count_lookup(v->second_name);
        count = apply_rule(record ? &v->rule : &v->block_rule, c, f);
    }
    sub = proto_tree_add_uint(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + clamp_pos(ctx, pos), 0,
                              (guint32)(count < 0 ? 0 : count > 4294967295LL ? 4294967295LL : count));
    if (!v || count <= 0) return 0;
    width = v->width != 0 ? v->width : size_rule(v->size);
    if (width > MAX_FIELD || width < 0) return 0;
    if (width == 0) {
        proto_item_append_text(sub, " (no data)");
        return 0;
    }
    /* A vector takes what the record holds, its checksum bytes included, as the report does. */
    fits = ((gint64)ctx->held - pos) / width;
    if ((gint64)ctx->held - pos < 0) fits = 0;
    n = count < fits ? count : fits;
    typed = vector_typed(v->field, width);
    shown = n < MAX_ELEMENTS ? n : MAX_ELEMENTS;
    st = sub_of(sub);
    for (i = 0; i < shown; ++i) {
        int at = pos + (int)(i * width);
        if (typed) {
            scalar(ctx, sub, v->constant, (int)width, v->field, at, 0);
        } else {
            proto_tree_add_subtree_format(st, ctx->tvb, ctx->base + at, (int)width, ett_item, NULL, "%s: %s",
                                          vx_field_defs[v->field].label,
                                          tvb_bytes_to_str(ctx->pinfo->pool, ctx->tvb, ctx->base + at, (int)width));
        }
    }
    if (n > shown)
        proto_tree_add_subtree_format(st, ctx->tvb, ctx->base + pos + (int)(shown * width), (int)((n - shown) * width),
                                      ett_item, NULL, "%d more elements", (int)(n - shown));
    if (n < count) exhausted(ctx, sub, NULL);
    proto_item_set_len(sub, (int)(n * width));
    return (int)(n * width);
}

/* The blocks of a repeat item. */
typedef struct {
    gint64 consumed, last;
    gint64 formatted;
    int failed, ran_out, held_nothing;
} vx_blocks;

static void blocks(vx_ctx *ctx, proto_item *tree, const vx_repeat *block, int pos, gint64 count, int check_end,
                   vx_blocks *r) {
    gint64 fixed = count_lookup(block->size_name);
    gint64 shown = count < MAX_BLOCKS ? count : MAX_BLOCKS, b;
    proto_tree *st = sub_of(tree);
    memset(r, 0, sizeof *r);
    for (b = 0; b < shown; ++b) {
        int at, start, p, how;
        proto_item *bt;
        gint64 end;
        if (ctx->cut) break;
        at = pos + (int)r->consumed;
        start = clamp_pos(ctx, at);
        proto_tree_add_subtree_format(st, ctx->tvb, ctx->base + start, 0, ett_item, &bt, "%s %d", block->title,
                                      (int)(b + 1));
        ctx->depth++;
        /* Blocks may read into the checksum bytes, as the report's blocks do: a
         * count that claims too many blocks runs out only past the record's end. */
        p = walk(ctx, block->items, block->count, at, ctx->held, 0, bt, fixed, &how);
        ctx->depth--;
        if (how == WALK_FIXED) r->last = fixed;
        else if (how == WALK_BROKEN) r->last = -1;
        else if (how == WALK_STOPPED) r->last = p - at;
        else r->last = fixed > 0 ? fixed : p - at;
        end = at + (r->last > 0 ? r->last : 0);
        if (end > ctx->held) end = ctx->held;
        proto_item_set_len(bt, end - start > 0 ? (int)(end - start) : 0);
        r->formatted++;
        if (r->last < 0) {
            r->failed = 1;
            return;
        }
        r->consumed += r->last;
        if (check_end && pos + r->consumed > ctx->held) {
            r->ran_out = 1;
            return;
        }
        if ((pos + r->consumed < ctx->held ? pos + r->consumed : ctx->held) <= clamp_pos(ctx, at) && b + 1 < count) {
            r->held_nothing = 1;
            return;
        }
    }
}

static int repeat_item(vx_ctx *ctx, proto_item *tree, const vx_item *item, int pos, int record, int *stop) {
    const vx_repeat *block = find_repeat(ctx, item->number);
    gint64 count, skipped, p;
    int start;
    proto_item *sub;
    vx_blocks r;
    *stop = 0;
    if (!block) return pos;
    count = count_lookup(block->count_name);
    if (record && block->count_name == VX_NAME_EMPTY) return pos;
    if (!record && ctx->depth > MAX_NESTING) {
        exhausted(ctx, tree, NULL);
        *stop = 1;
        return pos;
    }
    start = clamp_pos(ctx, pos);
    sub = proto_tree_add_uint(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + start, 0, (guint32)count);
    blocks(ctx, sub, block, pos, count, record, &r);
    p = pos + r.consumed;
    skipped = count - r.formatted;
    if (r.ran_out) {
        exhausted(ctx, sub, "Ran out of data in repeating blocks");
        *stop = 1;
    } else if (!r.failed && !ctx->cut && skipped > 0 && (count > MAX_BLOCKS || r.held_nothing)) {
        proto_tree_add_subtree_format(sub_of(sub), ctx->tvb, ctx->base + clamp_pos(ctx, (int)(p < G_MAXINT ? p : G_MAXINT)),
                                      0, ett_item, NULL, "Plus %d more repeats", (int)skipped);
        p += skipped * (r.last > 0 ? r.last : 0);
        if (p > ctx->held) exhausted(ctx, sub, "Insufficient data for the repeats");
    }
    {
        gint64 end = p < ctx->held ? p : ctx->held;
        proto_item_set_len(sub, end - start > 0 ? (int)(end - start) : 0);
    }
    /* Positions past any record's size end the walk as "past the end". */
    if (p > G_MAXINT / 2) p = G_MAXINT / 2;
    return (int)p;
}

/* Walks `items` from `pos`; returns where it stopped and, in *how, why:
 * done, stopped, fixed (a block passed its fixed size) or broken (a
 * back-reference before the first field). */
static int walk(vx_ctx *ctx, const vx_item *items, int count, int pos, int limit, int record, proto_item *tree,
                gint64 fixed, int *how) {
    int start = pos, k;
    for (k = 0; k < count; ++k) {
        const vx_item *item = &items[k];
        int width = 0, stop = 0;
        gint64 value = -1;
        ctx->items++;
        if (ctx->cut || ctx->items > MAX_ITEMS) {
            if (!ctx->cut)
                expert_add_info_format(ctx->pinfo, tree, &ei_cut, "The rest of this record is not shown");
            ctx->cut = 1;
            *how = WALK_STOPPED;
            return pos;
        }
        if (item->scalar) width = item->number > 0 ? item->number : 0;
        if (!record) {
            if (fixed > 0 && (gint64)pos - start + width > fixed) {
                *how = WALK_FIXED;
                return pos;
            }
            if (width > MAX_FIELD) {
                *how = WALK_STOPPED;
                return pos;
            }
        }
        if ((gint64)pos + width > limit) {
            exhausted(ctx, tree, NULL);
            *how = WALK_STOPPED;
            return pos;
        }
        switch (item->format) {
        case VX_FMT_REPEAT:
            pos = repeat_item(ctx, tree, item, pos, record, &stop);
            break;
        case VX_FMT_VECTOR:
            pos += vector(ctx, tree, item, pos, record);
            break;
        case VX_FMT_VSTRING: {
            const vx_vstring *vs = find_vstring(ctx, item->number);
            gint64 length = vs ? count_lookup(vs->len_name) : 0;
            if (length == 0) {
                if (record) {
                    expert_add_info_format(ctx->pinfo, tree, &ei_exhausted, "Bad String Length");
                    *how = WALK_STOPPED;
                    return pos;
                }
                continue;
            }
            if (pos < ctx->held) {
                int n;
                const char *text = bounded_text(ctx, pos, length, &n);
                proto_tree_add_string(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + pos, n, text);
            }
            pos += (int)length;
            break;
        }
        case VX_FMT_PING: {
            /* The beams and samples: shown as bytes under the item's name. */
            int stop_at = limit;
            if (ctx->optional_at && ctx->optional_at > pos && ctx->optional_at < stop_at) stop_at = ctx->optional_at;
            if (stop_at > pos)
                proto_tree_add_item(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + pos, stop_at - pos,
                                    ENC_NA);
            if (stop_at > pos) pos = stop_at;
            break;
        }
        case VX_FMT_SD:
        case VX_FMT_XD: {
            int back = item->number == 0 ? 1 : item->number;
            gint64 length;
            if (back < 1 || back > ctx->nvals) {
                *how = record ? WALK_STOPPED : WALK_BROKEN;
                return pos;
            }
            length = vx_vals[ctx->nvals - back];
            if (length < 0 || (gint64)pos + length > limit) {
                exhausted(ctx, tree, NULL);
                *how = WALK_STOPPED;
                return pos;
            }
            if (item->format == VX_FMT_SD) {
                int n;
                const char *text = bounded_text(ctx, pos, length, &n);
                proto_tree_add_string(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + pos, n, text);
            } else {
                proto_tree_add_item(sub_of(tree), hf_layout[item->field], ctx->tvb, ctx->base + pos, (int)length,
                                    ENC_NA);
            }
            pos += (int)length;
            break;
        }
        default:
            value = scalar(ctx, tree, item->format == VX_FMT_CONSTANT, width, item->field, pos, item->number);
            pos += width;
            break;
        }
        remember(ctx, item->name, value);
        if (stop) {
            *how = WALK_STOPPED;
            return pos;
        }
    }
    *how = WALK_DONE;
    return pos;
}

/* Unsigned and signed byte sums of `n` bytes from `at`. */
static void sums(tvbuff_t *tvb, int at, int n, guint32 *sum, guint32 *signed_sum) {
    guint8 chunk[4096];
    guint32 s = 0, high = 0;
    int done = 0;
    while (done < n) {
        int k = n - done < (int)sizeof chunk ? n - done : (int)sizeof chunk, i;
        tvb_memcpy(tvb, chunk, at + done, (size_t)k);
        for (i = 0; i < k; ++i) {
            s += chunk[i];
            high += chunk[i] >> 7;
        }
        done += k;
    }
    *sum = s;
    *signed_sum = s - 256u * high;
}

static int ping_type(guint32 t) {
    return t == 7006 || t == 7007 || t == 7008 || t == 7009 || t == 7011 || t == 7012;
}

/* A record held at `at`, `held` bytes long; `whole` says whether all of it is there. */
static void vx_dissect_record(tvbuff_t *tvb, packet_info *pinfo, proto_item *tree, int at, int held, int whole) {
    proto_tree *pt = sub_of(tree);
    proto_item *h, *fl;
    proto_tree *ht;
    guint32 sync, size, rtype, device, enumerator, counter, flags, optional_offset;
    gint32 protocol, version;
    int offset, data_start, length, has_sum, limit;
    const char *title;
    nstime_t tf;
    vx_ctx ctx;
    const vx_layout *layout;

    if (held < HEADER_SIZE) {
        expert_add_info_format(pinfo, tree, &ei_malformed, "Too short for a data record frame header");
        return;
    }
    sync = tvb_get_letohl(tvb, at + 4);
    size = tvb_get_letohl(tvb, at + 8);
    rtype = tvb_get_letohl(tvb, at + 32);
    device = tvb_get_letohl(tvb, at + 36);
    enumerator = tvb_get_letohs(tvb, at + 42);
    counter = tvb_get_letohl(tvb, at + 44);
    flags = tvb_get_letohs(tvb, at + 48);
    h = proto_tree_add_item(pt, hf_header, tvb, at, HEADER_SIZE, ENC_NA);
    ht = sub_of(h);
    proto_tree_add_item(ht, hf_protocol_version, tvb, at, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_offset, tvb, at + 2, 2, ENC_LITTLE_ENDIAN);
    {
        proto_item *s = proto_tree_add_item(ht, hf_sync, tvb, at + 4, 4, ENC_LITTLE_ENDIAN);
        if (sync != 0x0000FFFF) {
            expert_add_info_format(pinfo, s, &ei_malformed, "Sync pattern is not 0x0000FFFF");
            return;
        }
    }
    proto_tree_add_item(ht, hf_size, tvb, at + 8, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_optional_offset, tvb, at + 12, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_optional_id, tvb, at + 16, 4, ENC_LITTLE_ENDIAN);
    if (vx_time(tvb, at + 20, &tf))
        proto_tree_add_time(ht, hf_time, tvb, at + 20, 10, &tf);
    else
        proto_tree_add_item(ht, hf_time_raw, tvb, at + 20, 10, ENC_NA);
    proto_tree_add_item(ht, hf_record_version, tvb, at + 30, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_record_type, tvb, at + 32, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_device, tvb, at + 36, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_reserved, tvb, at + 40, 2, ENC_NA);
    proto_tree_add_item(ht, hf_enumerator, tvb, at + 42, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_counter, tvb, at + 44, 4, ENC_LITTLE_ENDIAN);
    fl = proto_tree_add_item(ht, hf_flags, tvb, at + 48, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(sub_of(fl), hf_flags_checksum, tvb, at + 48, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_reserved, tvb, at + 50, 2, ENC_NA);
    proto_tree_add_item(ht, hf_reserved, tvb, at + 52, 4, ENC_NA);
    proto_tree_add_item(ht, hf_fragments_total, tvb, at + 56, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(ht, hf_fragment_number, tvb, at + 60, 4, ENC_LITTLE_ENDIAN);

    title = try_val_to_str(rtype, vx_titles);
    proto_item_append_text(tree, ", %u%s%s, device %u/%u, #%u", rtype, title ? " " : "", title ? title : "", device,
                           enumerator, counter);
    col_append_fstr(pinfo->cinfo, COL_INFO, " %u #%u", rtype, counter);

    protocol = tvb_get_letohs(tvb, at);
    if (protocol == 0) protocol = 5;
    version = tvb_get_letohs(tvb, at + 30);
    if (version == 0) version = 1;
    offset = tvb_get_letohs(tvb, at + 2);
    if (offset == 0) offset = 60;
    data_start = 4 + offset;

    length = held;
    if (whole) {
        if (size != (guint32)held)
            expert_add_info_format(pinfo, h, &ei_malformed, "Size field %u, bytes held %d", size, held);
        if (size < (guint32)held) length = (int)size;
    }
    has_sum = (flags & 1) && whole && length >= HEADER_SIZE + 4;
    limit = has_sum ? length - 4 : length;

    if (ping_type(rtype) && data_start + 12 <= limit)
        proto_tree_add_item(pt, hf_ping, tvb, at + data_start + 8, 4, ENC_LITTLE_ENDIAN);

    if (!whole) {
        if (data_start < held) proto_tree_add_item(pt, hf_fragment, tvb, at + data_start, held - data_start, ENC_NA);
        return;
    }

    memset(&ctx, 0, sizeof ctx);
    ctx.tvb = tvb;
    ctx.pinfo = pinfo;
    ctx.base = at;
    ctx.held = length;
    ctx.protocol = protocol;
    ctx.version = version;
    ctx.type = (gint32)rtype;
    if (++vx_stamp == 0) {
        memset(vx_first_stamp, 0, sizeof vx_first_stamp);
        vx_stamp = 1;
    }
    optional_offset = tvb_get_letohl(tvb, at + 12);
    if (optional_offset != 0 && optional_offset >= (guint32)data_start && optional_offset < (guint32)limit)
        ctx.optional_at = (int)optional_offset;
    k_type = ctx.type;
    k_version = version;
    k_protocol = protocol;
    layout = find_record(vx_records, VX_NRECORDS);
    if (data_start > limit) {
        expert_add_info_format(pinfo, h, &ei_malformed, "The data section begins past the record's end");
    } else if (layout) {
        const vx_layout *opt;
        int how, pos;
        proto_item *dt = proto_tree_add_item(pt, hf_data, tvb, at + data_start, 0, ENC_NA);
        proto_item_append_text(dt, ": %s", layout->title);
        pos = walk(&ctx, layout->items, layout->count, data_start, limit, 1, dt, 0, &how);
        proto_item_set_len(dt, (pos < limit ? pos : limit) - data_start > 0 ? (pos < limit ? pos : limit) - data_start : 0);
        k_type = ctx.type;
        k_version = version;
        k_protocol = protocol;
        opt = find_record(vx_optional, VX_NOPTIONAL);
        if (opt && optional_offset != 0) {
            int from = ctx.optional_at ? ctx.optional_at : pos;
            if (from < limit) {
                proto_item *ot = proto_tree_add_item(pt, hf_optional, tvb, at + from, 0, ENC_NA);
                int p;
                proto_item_append_text(ot, ": %s", opt->title);
                p = walk(&ctx, opt->items, opt->count, from, limit, 1, ot, 0, &how);
                proto_item_set_len(ot, (p < limit ? p : limit) - from > 0 ? (p < limit ? p : limit) - from : 0);
            }
        }
    } else if (limit > data_start) {
        proto_tree_add_subtree(pt, tvb, at + data_start, limit - data_start, ett_item, NULL,
                               "Record data (no layout for this record type)");
    }

    if (has_sum) {
        guint32 field = tvb_get_letohl(tvb, at + length - 4), calc, signed_sum;
        proto_item *c, *g;
        proto_tree *ct;
        sums(tvb, at, length - 4, &calc, &signed_sum);
        c = proto_tree_add_item(pt, hf_checksum, tvb, at + length - 4, 4, ENC_LITTLE_ENDIAN);
        ct = sub_of(c);
        g = proto_tree_add_uint(ct, hf_checksum_calc, tvb, at + length - 4, 4, calc);
        proto_item_set_generated(g);
        if (field != calc) {
            if (signed_sum == field) {
                g = proto_tree_add_boolean(ct, hf_checksum_signed, tvb, at + length - 4, 4, TRUE);
                proto_item_set_generated(g);
                expert_add_info(pinfo, c, &ei_signed);
            } else {
                g = proto_tree_add_boolean(ct, hf_checksum_bad, tvb, at + length - 4, 4, TRUE);
                proto_item_set_generated(g);
                expert_add_info(pinfo, c, &ei_checksum);
            }
        }
    }
}

/* ---- records sent in several packets ----
 * Collected per direction of a conversation as the receiver does: a first
 * packet starts a record, the others follow in order, each full but the last;
 * the record is whole when the last packet brings the announced total size.
 * What each packet came to is kept per frame, so that a second pass (the
 * window redrawing a packet) shows the same as the first. */

typedef struct {
    int active;
    guint16 transmission, src_enum;
    guint32 src_device, total_size, packets, bytes;
    guint8 *data;
    guint32 capacity;
} vx_assembly;

typedef struct {
    vx_assembly direction[2];
} vx_conversation;

enum { PIECE_HELD, PIECE_WHOLE, PIECE_LOST_NEW, PIECE_LOST_PAST, PIECE_LOST_SIZE, PIECE_LOST_SEQUENCE,
       PIECE_REFUSED };

typedef struct {
    int status;
    guint8 *data;       /* the record, when the piece completed it */
    guint32 length, expected;
} vx_piece;

static guint32 vx_piece_frame, vx_piece_ordinal;

static int direction_of(packet_info *pinfo) {
    int c = cmp_address(&pinfo->src, &pinfo->dst);
    if (c == 0) c = pinfo->srcport < pinfo->destport ? -1 : pinfo->srcport > pinfo->destport ? 1 : 0;
    return c > 0;
}

static void assembly_reset(vx_assembly *a) {
    a->active = 0;
    a->packets = a->bytes = 0;
}

static int assembly_append(vx_assembly *a, tvbuff_t *tvb, int at, guint32 n) {
    if (!a->active || n > a->total_size - a->bytes) return 0;
    if (a->capacity - a->bytes < n) {
        guint32 want = a->bytes + n;
        guint32 grown = a->capacity * 2 < a->total_size ? a->capacity * 2 : a->total_size;
        guint32 capacity = want > grown ? want : grown;
        a->data = (guint8 *)wmem_realloc(wmem_file_scope(), a->data, capacity);
        a->capacity = capacity;
    }
    tvb_memcpy(tvb, a->data + a->bytes, at, n);
    a->bytes += n;
    a->packets++;
    return 1;
}

/* One piece of a record: where it leaves the record in collection. */
static vx_piece *collect(tvbuff_t *tvb, packet_info *pinfo, int at, guint32 payload) {
    guint32 total = tvb_get_letohl(tvb, at + 4), total_size = tvb_get_letohl(tvb, at + 16);
    guint32 number = tvb_get_letohl(tvb, at + 20);
    guint16 transmission = tvb_get_letohs(tvb, at + 10), src_enum = tvb_get_letohs(tvb, at + 30);
    guint32 src_device = tvb_get_letohl(tvb, at + 32);
    conversation_t *conv = find_or_create_conversation(pinfo);
    vx_conversation *state = (vx_conversation *)conversation_get_proto_data(conv, proto_vx);
    vx_piece *piece = wmem_new0(wmem_file_scope(), vx_piece);
    vx_assembly *a;
    if (!state) {
        state = wmem_new0(wmem_file_scope(), vx_conversation);
        conversation_add_proto_data(conv, proto_vx, state);
    }
    a = &state->direction[direction_of(pinfo)];
    piece->status = PIECE_HELD;
    if (number == 0) {
        if (a->active) piece->status = PIECE_LOST_NEW;
        assembly_reset(a);
        if (total_size == 0 || total_size > MAX_RECORD || payload > total_size) {
            piece->status = PIECE_REFUSED;
            return piece;
        }
        a->active = 1;
        a->transmission = transmission;
        a->src_enum = src_enum;
        a->src_device = src_device;
        a->total_size = total_size;
        assembly_append(a, tvb, at + NET_SIZE, payload);
        return piece;
    }
    if (!a->active || a->transmission != transmission || a->src_enum != src_enum || a->src_device != src_device)
        return piece;  /* a capture may begin inside a record */
    if (!assembly_append(a, tvb, at + NET_SIZE, payload)) {
        piece->status = PIECE_LOST_PAST;
        piece->expected = a->total_size;
        assembly_reset(a);
        return piece;
    }
    if (a->packets == total) {
        piece->length = a->bytes;
        piece->expected = a->total_size;
        if (a->bytes != a->total_size) {
            piece->status = PIECE_LOST_SIZE;
        } else {
            piece->status = PIECE_WHOLE;
            piece->data = (guint8 *)wmem_memdup(wmem_file_scope(), a->data, a->bytes);
        }
        assembly_reset(a);
    } else if ((guint64)a->bytes != ((guint64)number + 1) * MAX_PAYLOAD) {
        piece->status = PIECE_LOST_SEQUENCE;
        assembly_reset(a);
    }
    return piece;
}

/* One packet: a network frame and its piece of a record. */
static void vx_dissect_packet(tvbuff_t *tvb, packet_info *pinfo, proto_tree *tree, int at, int available) {
    proto_item *sub = proto_tree_add_item(tree, proto_vx, tvb, at, available, ENC_NA);
    proto_tree *st = proto_item_add_subtree(sub, ett_vx);
    proto_item *n;
    proto_tree *nt;
    guint32 packet_size, total, number, total_size;
    int payload, held;
    if (available < NET_SIZE) {
        expert_add_info_format(pinfo, sub, &ei_malformed, "Too short for a network frame");
        return;
    }
    n = proto_tree_add_item(st, hf_net, tvb, at, NET_SIZE, ENC_NA);
    nt = sub_of(n);
    proto_tree_add_item(nt, hf_net_version, tvb, at, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_offset, tvb, at + 2, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_total_packets, tvb, at + 4, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_total_records, tvb, at + 8, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_transmission, tvb, at + 10, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_packet_size, tvb, at + 12, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_total_size, tvb, at + 16, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_packet_number, tvb, at + 20, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_dest_device, tvb, at + 24, 4, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_dest_enum, tvb, at + 28, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_src_enum, tvb, at + 30, 2, ENC_LITTLE_ENDIAN);
    proto_tree_add_item(nt, hf_net_src_device, tvb, at + 32, 4, ENC_LITTLE_ENDIAN);
    packet_size = tvb_get_letohl(tvb, at + 12);
    total = tvb_get_letohl(tvb, at + 4);
    number = tvb_get_letohl(tvb, at + 20);
    total_size = tvb_get_letohl(tvb, at + 16);
    if (packet_size <= NET_SIZE || packet_size > MAX_PACKET) {
        expert_add_info_format(pinfo, n, &ei_malformed, "Packet size %u out of range", packet_size);
        return;
    }
    payload = (packet_size < (guint32)available ? (int)packet_size : available) - NET_SIZE;
    if (packet_size > (guint32)available)
        expert_add_info_format(pinfo, n, &ei_malformed, "Packet size %u, bytes held %d", packet_size, available);
    if (total > 1) {
        vx_piece *piece;
        guint32 ordinal;
        if (pinfo->num != vx_piece_frame) {
            vx_piece_frame = pinfo->num;
            vx_piece_ordinal = 0;
        }
        ordinal = vx_piece_ordinal++;
        proto_item_append_text(sub, ", Fragment %u of %u of a record of %u bytes", number + 1, total, total_size);
        expert_add_info_format(pinfo, sub, &ei_fragment, "Fragment %u of %u of a record of %u bytes", number + 1,
                               total, total_size);
        col_append_fstr(pinfo->cinfo, COL_INFO, " fragment %u/%u", number + 1, total);
        if (payload > 0) proto_tree_add_item(st, hf_fragment, tvb, at + NET_SIZE, payload, ENC_NA);
        /* Only whole packets take part: one cut short cannot complete a record. */
        if (packet_size > (guint32)available) return;
        piece = (vx_piece *)p_get_proto_data(wmem_file_scope(), pinfo, proto_vx, ordinal);
        if (!piece) {
            piece = collect(tvb, pinfo, at, (guint32)payload);
            p_add_proto_data(wmem_file_scope(), pinfo, proto_vx, ordinal, piece);
        }
        switch (piece->status) {
        case PIECE_LOST_NEW:
            expert_add_info_format(pinfo, sub, &ei_lost,
                                   "Record lost: a new record began before the last fragment of the one collected");
            break;
        case PIECE_LOST_SEQUENCE:
            expert_add_info_format(pinfo, sub, &ei_lost, "Record lost: a fragment is missing or out of sequence");
            break;
        case PIECE_LOST_PAST:
            expert_add_info_format(pinfo, sub, &ei_lost_size,
                                   "Record lost: the fragments run past the total size of %u bytes", piece->expected);
            break;
        case PIECE_LOST_SIZE:
            expert_add_info_format(pinfo, sub, &ei_lost_size,
                                   "Record lost: the fragments hold %u bytes of a total size of %u", piece->length,
                                   piece->expected);
            break;
        case PIECE_REFUSED:
            expert_add_info_format(pinfo, n, &ei_malformed, "Total size %u refused", total_size);
            break;
        case PIECE_WHOLE: {
            tvbuff_t *record = tvb_new_child_real_data(tvb, piece->data, piece->length, piece->length);
            proto_item *r;
            add_new_data_source(pinfo, record, "Reassembled Vx record");
            r = proto_tree_add_uint(st, hf_reassembled, record, 0, (gint)piece->length, piece->length);
            proto_item_set_generated(r);
            vx_dissect_record(record, pinfo, sub, 0, (int)piece->length, 1);
            break;
        }
        default:
            break;
        }
        return;
    }
    if (number != 0) expert_add_info_format(pinfo, n, &ei_malformed, "Packet number %u of a single packet", number);
    held = payload;
    if (total_size < (guint32)held) held = (int)total_size;
    vx_dissect_record(tvb, pinfo, sub, at + NET_SIZE, held, packet_size <= (guint32)available);
}

/* A packet size out of range is no packet: the rest of the segment is shown
 * as one malformed piece and the next segment is read afresh. Asking the TCP
 * reassembly for such a size would have it collect the rest of the connection
 * (up to 4 GiB) into one piece, at a cost that grows with every segment. */
static guint pdu_length(packet_info *pinfo _U_, tvbuff_t *tvb, int offset, void *data _U_) {
    guint32 size = tvb_get_letohl(tvb, offset + 12);
    if (size <= NET_SIZE || size > MAX_PACKET) return (guint)tvb_reported_length_remaining(tvb, offset);
    return size;
}

static void start_info(packet_info *pinfo) {
    const char *info;
    col_set_str(pinfo->cinfo, COL_PROTOCOL, "Vx");
    info = col_get_text(pinfo->cinfo, COL_INFO);
    if (!info || strncmp(info, "Vx", 2) != 0) col_set_str(pinfo->cinfo, COL_INFO, "Vx");
}

static int dissect_pdu(tvbuff_t *tvb, packet_info *pinfo, proto_tree *tree, void *data _U_) {
    start_info(pinfo);
    vx_dissect_packet(tvb, pinfo, tree, 0, (int)tvb_captured_length(tvb));
    return (int)tvb_captured_length(tvb);
}

static int dissect_vx(tvbuff_t *tvb, packet_info *pinfo, proto_tree *tree, void *data _U_) {
    int length = (int)tvb_captured_length(tvb), at = 0, left = length;
    /* A segment cut short by the snapshot length cannot take part in the
     * reassembly: its packets are shown as far as they were captured. */
    int truncated = tvb_captured_length(tvb) < tvb_reported_length(tvb);
    if (pinfo->ptype != PT_UDP && !truncated) {
        tcp_dissect_pdus(tvb, pinfo, tree, TRUE, NET_SIZE, pdu_length, dissect_pdu, NULL);
        return length;
    }
    /* UDP: the packets of one datagram, back to back. */
    start_info(pinfo);
    if (truncated) {
        proto_item *t = proto_tree_add_item(tree, proto_vx, tvb, 0, -1, ENC_NA);
        expert_add_info_format(pinfo, t, &ei_malformed, "Only %u of %u bytes captured", tvb_captured_length(tvb),
                               tvb_reported_length(tvb));
    }
    while (left > 0) {
        guint32 size;
        if (left < NET_SIZE) {
            vx_dissect_packet(tvb, pinfo, tree, at, left);
            break;
        }
        size = tvb_get_letohl(tvb, at + 12);
        vx_dissect_packet(tvb, pinfo, tree, at, left);
        if (size <= NET_SIZE || size > MAX_PACKET) break;
        at += (int)size;
        left -= (int)size;
    }
    return length;
}

/* Whether a stream's first bytes parse as a network frame (and, for the
 * first packet of a record, the start of a data record frame). */
static gboolean looks_like_vx(tvbuff_t *tvb) {
    guint32 total, size, total_size, number;
    if (tvb_captured_length(tvb) < NET_SIZE) return FALSE;
    if (tvb_get_letohs(tvb, 2) != NET_SIZE) return FALSE;
    total = tvb_get_letohl(tvb, 4);
    size = tvb_get_letohl(tvb, 12);
    total_size = tvb_get_letohl(tvb, 16);
    number = tvb_get_letohl(tvb, 20);
    if (size <= NET_SIZE || size > MAX_PACKET) return FALSE;
    if (total < 1 || number >= total || total_size < size - NET_SIZE) return FALSE;
    if (number == 0) {
        if (tvb_captured_length(tvb) < NET_SIZE + 8) return FALSE;
        if (tvb_get_letohl(tvb, NET_SIZE + 4) != 0x0000FFFF) return FALSE;
    }
    return TRUE;
}

static gboolean heuristic(tvbuff_t *tvb, packet_info *pinfo, proto_tree *tree, void *data) {
    if (!vx_heuristic_on || !looks_like_vx(tvb)) return FALSE;
    conversation_set_dissector(find_or_create_conversation(pinfo), vx_handle);
    dissect_vx(tvb, pinfo, tree, data);
    return TRUE;
}

#define HF(id, abbrev, name, type, display, strings, mask) \
    { &id, { name, abbrev, type, display, strings, mask, NULL, HFILL } }

static void register_vx(void) {
    static hf_register_info hf[] = {
        HF(hf_net, "vx.net", "Network frame", FT_NONE, BASE_NONE, NULL, 0),
        HF(hf_net_version, "vx.net.version", "Version", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_offset, "vx.net.offset", "Offset", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_total_packets, "vx.net.total_packets", "Total packets", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_net_total_records, "vx.net.total_records", "Total records", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_transmission, "vx.net.transmission_id", "Transmission id", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_packet_size, "vx.net.packet_size", "Packet size", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_net_total_size, "vx.net.total_size", "Total size", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_net_packet_number, "vx.net.packet_number", "Packet number", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_net_dest_device, "vx.net.destination_device", "Destination device id", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_net_dest_enum, "vx.net.destination_enumerator", "Destination enumerator", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_src_enum, "vx.net.source_enumerator", "Source enumerator", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_net_src_device, "vx.net.source_device", "Source device id", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_fragment, "vx.fragment", "Record fragment", FT_BYTES, BASE_NONE, NULL, 0),
        HF(hf_reassembled, "vx.reassembled", "Reassembled record size", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_header, "vx.header", "Data record frame header", FT_NONE, BASE_NONE, NULL, 0),
        HF(hf_protocol_version, "vx.protocol_version", "Protocol version", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_offset, "vx.offset", "Offset", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_sync, "vx.sync", "Sync pattern", FT_UINT32, BASE_HEX, NULL, 0),
        HF(hf_size, "vx.size", "Size", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_optional_offset, "vx.optional_offset", "Optional data offset", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_optional_id, "vx.optional_id", "Optional data identifier", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_time, "vx.time", "Time stamp", FT_ABSOLUTE_TIME, ABSOLUTE_TIME_UTC, NULL, 0),
        HF(hf_time_raw, "vx.time.raw", "Time stamp (no time)", FT_BYTES, BASE_NONE, NULL, 0),
        HF(hf_record_version, "vx.record_version", "Record version", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_record_type, "vx.record_type", "Record type", FT_UINT32, BASE_DEC, VALS(vx_titles), 0),
        HF(hf_device, "vx.device", "Device identifier", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_reserved, "vx.reserved", "Reserved", FT_BYTES, BASE_NONE, NULL, 0),
        HF(hf_enumerator, "vx.enumerator", "System enumerator", FT_UINT16, BASE_DEC, NULL, 0),
        HF(hf_counter, "vx.counter", "Record counter", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_flags, "vx.flags", "Flags", FT_UINT16, BASE_HEX, NULL, 0),
        HF(hf_flags_checksum, "vx.flags.checksum", "Ends with a checksum", FT_BOOLEAN, 16, NULL, 0x0001),
        HF(hf_fragments_total, "vx.fragments_total", "Total records in fragmented set", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_fragment_number, "vx.fragment_number", "Fragment number", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_ping, "vx.ping", "Ping number", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_data, "vx.data", "Record data", FT_NONE, BASE_NONE, NULL, 0),
        HF(hf_optional, "vx.optional", "Optional data", FT_NONE, BASE_NONE, NULL, 0),
        HF(hf_checksum, "vx.checksum", "Checksum", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_checksum_calc, "vx.checksum.calculated", "Checksum calculated", FT_UINT32, BASE_DEC, NULL, 0),
        HF(hf_checksum_bad, "vx.checksum.bad", "Checksum wrong", FT_BOOLEAN, BASE_NONE, NULL, 0),
        HF(hf_checksum_signed, "vx.checksum.signed", "Checksum made with signed bytes", FT_BOOLEAN, BASE_NONE, NULL, 0),
    };
    static ei_register_info ei[] = {
        { &ei_checksum, { "vx.checksum.bad.expert", PI_CHECKSUM, PI_ERROR, "Checksum not correct", EXPFILL } },
        { &ei_signed, { "vx.checksum.signed.expert", PI_CHECKSUM, PI_WARN,
                        "Checksum calculated with signed arithmetic", EXPFILL } },
        { &ei_malformed, { "vx.malformed", PI_MALFORMED, PI_ERROR, "Malformed Vx packet", EXPFILL } },
        { &ei_exhausted, { "vx.exhausted", PI_MALFORMED, PI_WARN, "Data exhausted", EXPFILL } },
        { &ei_fragment, { "vx.fragmented", PI_REASSEMBLE, PI_NOTE, "Fragment of a record sent in several packets",
                          EXPFILL } },
        { &ei_cut, { "vx.cut", PI_UNDECODED, PI_NOTE, "Record shown in part", EXPFILL } },
        { &ei_lost, { "vx.lost", PI_REASSEMBLE, PI_WARN, "Record lost: a fragment is missing", EXPFILL } },
        { &ei_lost_size, { "vx.lost.size", PI_REASSEMBLE, PI_WARN, "Record lost: its size disagrees", EXPFILL } },
    };
    static gint *ett[] = { &ett_vx, &ett_item };
    hf_register_info *layout = g_new0(hf_register_info, VX_NFIELDS > 0 ? VX_NFIELDS : 1);
    module_t *prefs;
    expert_module_t *experts;
    static const int ftype[] = { FT_UINT8, FT_UINT16, FT_UINT32, FT_UINT64, FT_INT8, FT_INT16, FT_INT32,
                                 FT_INT64, FT_FLOAT, FT_DOUBLE, FT_DOUBLE, FT_ABSOLUTE_TIME, FT_STRING, FT_BYTES,
                                 FT_UINT32, FT_INT32 };
    int i;

    proto_vx = proto_register_protocol("Vx sonar data protocol", "VX", "vx");
    proto_register_field_array(proto_vx, hf, array_length(hf));
    /* The layout fields: registered from the tables, kept for the program's life. */
    for (i = 0; i < VX_NFIELDS; ++i) {
        const vx_field_def *d = &vx_field_defs[i];
        int t = ftype[d->kind];
        hf_layout[i] = -1;
        layout[i].p_id = &hf_layout[i];
        layout[i].hfinfo.name = d->label;
        layout[i].hfinfo.abbrev = d->filter;
        layout[i].hfinfo.type = (enum ftenum)t;
        layout[i].hfinfo.display = t == FT_ABSOLUTE_TIME ? ABSOLUTE_TIME_UTC
                                 : (t == FT_BYTES || t == FT_STRING || t == FT_FLOAT || t == FT_DOUBLE) ? BASE_NONE
                                 : BASE_DEC;
        layout[i].hfinfo.strings = d->vals;
        layout[i].hfinfo.bitmask = 0;
        layout[i].hfinfo.blurb = NULL;
        HFILL_INIT(layout[i]);
    }
    proto_register_field_array(proto_vx, layout, VX_NFIELDS);
    proto_register_subtree_array(ett, array_length(ett));
    experts = expert_register_protocol(proto_vx);
    expert_register_field_array(experts, ei, array_length(ei));
    prefs = prefs_register_protocol(proto_vx, NULL);
    prefs_register_bool_preference(prefs, "heuristic", "Find Vx streams on any port",
                                   "Try streams on other ports too: a stream is Vx when its first bytes parse as a "
                                   "Vx network frame",
                                   &vx_heuristic_on);
    vx_handle = create_dissector_handle(dissect_vx, proto_vx);
}

/* The port table. Built-in dissectors may claim the same ports from their
 * preferences, which are applied after every handoff: the ports are taken
 * again whenever a capture is opened, so Vx wins on its ports as the Lua
 * dissector (registered last) does. */
static void add_ports(void) {
    size_t i;
    for (i = 0; i < array_length(vx_ports); ++i) {
        dissector_add_uint("tcp.port", vx_ports[i], vx_handle);
        dissector_add_uint("udp.port", vx_ports[i], vx_handle);
    }
}

static void handoff_vx(void) {
    add_ports();
    register_init_routine(add_ports);
    heur_dissector_add("tcp", heuristic, "Vx over TCP", "vx_tcp", proto_vx, HEURISTIC_ENABLE);
    heur_dissector_add("udp", heuristic, "Vx over UDP", "vx_udp", proto_vx, HEURISTIC_ENABLE);
}

void plugin_register(void) {
    static proto_plugin plugin;
    plugin.register_protoinfo = register_vx;
    plugin.register_handoff = handoff_vx;
    proto_register_plugin(&plugin);
}

// The picture: the open part of the tree laid out (tree_tidy.js) and drawn,
// its links and nodes in the SVG, the messages shown instead of a tree, and fitting the
// picture into the window.
"use strict";

{
    const page = window.korvantisTree;
    const {ROW, COLUMN, LABEL_MAX, hooks, formatCount, More, hasChildren} = page;

    let svg = null;
    let viewport = null;
    let linkLayer = null;
    let nodeLayer = null;
    let zoom = null;

    function setUp() {
        if (svg) {
            return;
        }
        svg = d3.select("#tree");
        viewport = svg.append("g").attr("class", "viewport");
        linkLayer = viewport.append("g").attr("class", "links");
        nodeLayer = viewport.append("g").attr("class", "nodes");
        zoom = d3.zoom()
            .scaleExtent([0.02, 4])
            .on("start", page.hidePopups)
            .on("zoom", (event) => viewport.attr("transform", event.transform))
            .on("end", redrawAfterMove);
        svg.call(zoom).on("dblclick.zoom", null);
    }

    function showMessage(text) {
        hooks.message = text;
        const box = document.getElementById("message");
        box.textContent = text;
        box.hidden = false;
    }

    function hideMessage() {
        hooks.message = "";
        document.getElementById("message").hidden = true;
    }

    function setStatus(text) {
        document.getElementById("status").textContent = text;
    }

    function clearPicture() {
        page.root = null;
        dropPending();
        page.clearLayout();
        page.facts = null;
        hooks.facts = "none";
        page.clearSearch();
        setStatus("");
        page.hidePopups();
        linkLayer.selectAll("*").remove();
        nodeLayer.selectAll("*").remove();
        laidOut = [];
        hooks.drawn = 0;
        hooks.total = 0;
    }

    function nodeClass(d) {
        const data = d.data;
        if (data instanceof More) {
            return "node more";
        }
        const name = !hasChildren(data) ? "node leaf" : page.isOpen(data) ? "node open" : "node closed";
        const mark = page.markOf(data);
        const marked = !mark ? "" : (mark[1] ? " hit" : "") + (markShade(mark) ? " highlighted" : "");
        return name + marked + page.matchClass(data);
    }

    // The colour of a marked node's highlight, or "".
    function markShade(mark) {
        const shades = page.markColours && page.markColours.highlights;
        return (mark[3] >= 0 && Array.isArray(shades) && shades[mark[3]]) || "";
    }

    // Gives a drawn node (its SVG group is `el`) its marks' colours, as the
    // CSS of its node reads them: the ring in its highest level's colour,
    // the dot in its highlight's. Set through the style object: the page's
    // policy refuses style attributes.
    function paintMark(el, d) {
        const mark = d.data instanceof More ? null : page.markOf(d.data);
        const levels = (page.markColours && page.markColours.levels) || {};
        const level = (mark && mark[1] && levels[mark[1]]) || "";
        const shade = mark ? markShade(mark) : "";
        if ((el.__mark || "") === level + "|" + shade || (!el.__mark && !level && !shade)) {
            return;
        }
        el.__mark = level + "|" + shade;
        for (const [name, value] of [["--level", level], ["--highlight", shade]]) {
            if (value) {
                el.style.setProperty(name, value);
            } else {
                el.style.removeProperty(name);
            }
        }
    }

    // Characters that act unseen (bidirectional controls such as U+202E,
    // other invisible format and control characters) are drawn as visible
    // marks, "\u27e8U+202E\u27e9", in a muted colour, so that no name can pass
    // for another.
    const UNSEEN = /[\p{Cf}\p{Cc}\u2028\u2029]/u;

    function unseenMark(ch) {
        const hex = ch.codePointAt(0).toString(16).toUpperCase().padStart(4, "0");
        return "\u27e8U+" + hex + "\u27e9";
    }

    // Fills `el` with `text`, each unseen character as a muted mark: an
    // element made by `makeMark` with the class "unseen".
    function setMarkedText(el, text, makeMark) {
        el.replaceChildren();
        let plain = "";
        for (const ch of text) {
            if (!UNSEEN.test(ch)) {
                plain += ch;
                continue;
            }
            if (plain) {
                el.appendChild(document.createTextNode(plain));
                plain = "";
            }
            const mark = makeMark();
            mark.setAttribute("class", "unseen");
            mark.textContent = unseenMark(ch);
            el.appendChild(mark);
        }
        if (plain) {
            el.appendChild(document.createTextNode(plain));
        }
    }

    const svgMark = () => document.createElementNS("http://www.w3.org/2000/svg", "tspan");
    const htmlMark = () => document.createElement("span");

    function shortName(name) {
        return name.length > LABEL_MAX ? name.slice(0, LABEL_MAX - 1) + "\u2026" : name;
    }

    function linkPath(d) {
        const sx = d.parent.y;
        const sy = d.parent.x;
        const tx = d.y;
        const ty = d.x;
        const mx = (sx + tx) / 2;
        return "M" + sx + "," + sy + "C" + mx + "," + sy + " " + mx + "," + ty + " " + tx + "," + ty;
    }

    // The picture being laid out, while one is: the node to keep in place
    // (with where it was), what to do once it is drawn, and its layout's
    // remaining work.
    let pending = null;

    // Lays out and draws the open part of the tree, then calls `then`. When
    // `anchor` is given, the view moves so that this node stays where it was
    // on the screen. A large picture is laid out a slice at a time, the page
    // answering in between; a picture asked for meanwhile takes over the
    // work, and what was to follow the earlier one follows it.
    function render(anchor, then) {
        if (pending === null) {
            pending = {anchor: null, before: null, thens: [], cancel: null,
                start: performance.now()};
        } else {
            pending.cancel();
        }
        const job = pending;
        if (anchor && anchor.__x !== undefined) {
            job.anchor = anchor;
            job.before = [anchor.__x, anchor.__y];
        }
        if (then) {
            job.thens.push(then);
        }
        hooks.drawing = true;
        job.cancel = () => {};
        const cancel = page.layOutInSlices(page.root, page.drawnChildren,
            (nodes) => showLaidOut(job, nodes));
        if (pending === job) {
            job.cancel = cancel;
        }
    }

    // Draws a finished layout; every drawn node keeps its place in the
    // picture for the next one.
    function showLaidOut(job, nodes) {
        pending = null;
        for (const d of nodes) {
            d.data.__x = d.x;
            d.data.__y = d.y;
        }
        laidOut = nodes;
        draw();
        if (job.anchor) {
            const [x, y] = job.before;
            zoom.translateBy(svg, y - job.anchor.__y, x - job.anchor.__x);
        }
        notePicture(laidOut.length, job.start);
        for (const then of job.thens) {
            then();
        }
    }

    // Drops the picture being laid out, if any, and what was to follow it.
    function dropPending() {
        if (pending !== null) {
            pending.cancel();
            pending = null;
        }
        clearTimeout(drawTimer);
        drawTimer = 0;
        hooks.drawing = false;
    }

    // Above this many laid-out nodes only those near the view are drawn:
    // SVG elements by the hundred thousand (a deep chain opened to a search
    // match) would hold the page for minutes.
    const DRAW_ALL_UP_TO = 5000;
    let laidOut = [];
    let windowed = false;

    // The laid-out nodes within a screen of the view, or all of them for an
    // ordinary picture.
    function nodesToDraw() {
        windowed = laidOut.length > DRAW_ALL_UP_TO;
        if (!windowed) {
            return laidOut;
        }
        const [width, height] = stageSize();
        const t = d3.zoomTransform(svg.node());
        const left = t.invertX(-width) - COLUMN;
        const right = t.invertX(2 * width) + COLUMN;
        const top = t.invertY(-height) - ROW;
        const bottom = t.invertY(2 * height) + ROW;
        return laidOut.filter((d) => d.y >= left && d.y <= right && d.x >= top && d.x <= bottom);
    }

    // New marks change no place: every drawn node is brought in line again,
    // a slice at a time as after a new picture.
    function redrawMarks() {
        nodeLayer.selectAll("g").each(function () {
            this.__picture = null;
        });
        draw();
    }

    function redrawAfterMove() {
        if (windowed) {
            draw();
        }
    }

    // Node groups made in one task: making SVG groups by the thousand holds
    // the page for as many milliseconds. The rest are made in the next
    // tasks, the page answering in between.
    const ENTER_AT_ONCE = 150;
    let drawTimer = 0;

    const byId = (d) => d.data.__id;

    // Brings the SVG in line with the picture: the groups and links of nodes
    // no longer drawn go, those of drawn nodes are changed where they show
    // something else, and up to ENTER_AT_ONCE new ones are made, the rest in
    // the tasks after this one.
    function draw() {
        clearTimeout(drawTimer);
        drawTimer = 0;
        const nodes = nodesToDraw();
        const made = new Set();
        nodeLayer.selectAll("g").each((d) => made.add(byId(d)));
        let fresh = 0;
        const shown = nodes.filter((d) => made.has(byId(d)) || fresh++ < ENTER_AT_ONCE);

        // An element brought in line with this picture once is left alone
        // by the tasks that make the rest, and those brought in line in one
        // task are as many as SLICE_MS allows: after "Expand all below" every
        // one of thousands moves, and going over them all at once held the
        // page. The others keep their last place until the tasks after this.
        const picture = laidOut;
        const start = performance.now();
        let updated = 0;
        let behind = false;
        const due = (el) => {
            if (el.__picture === picture) {
                return false;
            }
            if (behind || (++updated % 64 === 0 && performance.now() - start >= page.SLICE_MS)) {
                behind = true;
                return false;
            }
            el.__picture = picture;
            return true;
        };
        nodeLayer.selectAll("g")
            .data(shown, byId)
            .join(enterNodes)
            .each(function (d) {
                if (due(this)) {
                    setOnce(this, "class", nodeClass(d));
                    paintMark(this, d);
                    setOnce(this, "transform", "translate(" + d.y + "," + d.x + ")");
                    fillNode(this, d);
                }
            });
        linkLayer.selectAll("path")
            .data(shown.filter((d) => d.parent), byId)
            .join((enter) => enter.append("path").attr("class", "link"))
            .each(function (d) {
                if (due(this)) {
                    setOnce(this, "d", linkPath(d));
                }
            });

        const more = fresh > ENTER_AT_ONCE || behind;
        hooks.drawing = more || pending !== null;
        if (more) {
            drawTimer = setTimeout(draw, 0);
        }
    }

    // Sets an attribute of `el` unless it has that value already: a picture
    // of thousands of nodes changes few of them.
    function setOnce(el, name, value) {
        if (el.getAttribute(name) !== value) {
            el.setAttribute(name, value);
        }
    }

    // New nodes of the picture: each one's dot, label and what the mouse
    // does on it.
    function enterNodes(enter) {
        const g = enter.append("g");
        g.append("circle").attr("r", 4.5);
        const text = g.append("text").attr("x", 8).attr("dy", "0.32em");
        text.append("tspan").attr("class", "name");
        text.append("tspan").attr("class", "pid");
        text.append("tspan").attr("class", "count");
        g.on("click", (event, d) => {
            event.stopPropagation();
            page.hidePopups();
            page.toggle(d.data);
        });
        g.on("dblclick", (event, d) => {
            event.stopPropagation();
            page.showEvents(d.data);
        });
        g.on("contextmenu", (event, d) => {
            event.preventDefault();
            event.stopPropagation();
            page.openMenu(event, d.data);
        });
        g.on("mouseenter", (event, d) => page.showTooltip(event, d.data));
        g.on("mousemove", (event) => page.placeAtPointer(page.tooltipBox(), event));
        g.on("mouseleave", page.hideTooltip);
        return g;
    }

    // The label of a drawn node (its SVG group is `el`): the name, the pid
    // once the facts are in, and the descendants of a closed node.
    function fillNode(el, d) {
        const data = d.data;
        const more = data instanceof More;
        const closed = !more && !page.isOpen(data) && hasChildren(data);
        const f = page.factsOf(data);
        const name = more ? data.name : shortName(data.name);
        const pid = f ? " " + f[0] : "";
        const count = closed ? " (" + formatCount(data.__count) + ")" : "";
        // Labels are written again only where they change.
        const label = name + "\0" + pid + "\0" + count;
        if (el.__label === label) {
            return;
        }
        el.__label = label;
        const g = d3.select(el);
        setMarkedText(g.select("tspan.name").node(), name, svgMark);
        g.select("tspan.pid").text(pid);
        g.select("tspan.count").text(count);
    }

    // Notes a new picture of `count` nodes, begun at `start`, and when the
    // frame that shows it has been painted.
    function notePicture(count, start) {
        hooks.drawn = count;
        hooks.pictures += 1;
        hooks.drawnAt = Date.now();
        hooks.lastRenderMs = performance.now() - start;
        const picture = hooks.pictures;
        const first = hooks.firstDrawnAt === 0;
        if (first) {
            hooks.firstDrawnAt = hooks.drawnAt;
        }
        requestAnimationFrame(() => setTimeout(() => {
            if (first && hooks.firstPaintedAt === 0) {
                hooks.firstPaintedAt = Date.now();
            }
            if (hooks.pictures === picture) {
                hooks.paintedAt = Date.now();
            }
        }, 0));
    }

    // The SVG groups of the drawn nodes.
    function drawnGroups() {
        return nodeLayer.selectAll("g");
    }

    // Moves the view so that `node`, already drawn, is in its middle.
    function centreOn(node) {
        zoom.translateTo(svg, node.__y, node.__x);
    }

    // The extent of the drawn nodes in layout coordinates.
    function drawnExtent() {
        let top = 0;
        let bottom = 0;
        let right = 0;
        for (const d of laidOut) {
            top = Math.min(top, d.x);
            bottom = Math.max(bottom, d.x);
            right = Math.max(right, d.y);
        }
        return {top, bottom, right};
    }

    function stageSize() {
        const box = svg.node();
        return [box.clientWidth || window.innerWidth || 800,
            box.clientHeight || window.innerHeight || 600];
    }

    // Fits the first picture into the window, within readable scales; what
    // does not fit stays centred on the root.
    function fitFirstPicture() {
        const [width, height] = stageSize();
        const {top, bottom, right} = drawnExtent();
        const margin = 40;
        const spanX = bottom - top + ROW;
        const spanY = right + COLUMN;
        const k = Math.max(0.75, Math.min(1, (height - margin) / spanX, (width - margin) / spanY));
        const middle = k * spanX <= height - margin ? (top + bottom) / 2 : 0;
        svg.call(zoom.transform, d3.zoomIdentity.translate(margin, height / 2 - k * middle).scale(k));
    }

    // "Fit to window": the whole picture, however small that makes it.
    function fitToWindow() {
        if (!page.root) {
            return;
        }
        const [width, height] = stageSize();
        const {top, bottom, right} = drawnExtent();
        const margin = 20;
        const spanX = bottom - top + ROW;
        const spanY = right + COLUMN;
        const [low, high] = zoom.scaleExtent();
        const k = Math.max(low, Math.min(high, 1.5, (height - 2 * margin) / spanX,
            (width - 2 * margin) / spanY));
        const x = (width - k * spanY) / 2 + margin / 2;
        const y = height / 2 - k * (top + bottom) / 2;
        svg.call(zoom.transform, d3.zoomIdentity.translate(x, y).scale(k));
    }

    Object.assign(page, {
        setUp, showMessage, hideMessage, setStatus, clearPicture, setMarkedText, htmlMark,
        render, drawnGroups, centreOn, fitFirstPicture, fitToWindow,
        redraw: redrawMarks,
    });
}

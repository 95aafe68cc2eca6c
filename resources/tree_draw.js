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
        listenOnNodes(nodeLayer.node());
        zoom = d3.zoom()
            .scaleExtent([0.02, 4])
            .on("start", page.hidePopups)
            .on("zoom", onZoom)
            .on("end", redrawAfterMove);
        svg.call(zoom).on("dblclick.zoom", null);
    }

    // Moves the picture with the view; zoomed out too far to read, the
    // labels are left out (laying out and painting thousands of unreadable
    // labels held the page for a tenth of a second a frame), and a view
    // that leaves the part of a large picture drawn has the rest drawn.
    // The view's move is a CSS transform: moved by its transform attribute,
    // every label was laid out again in every frame of the move.
    function onZoom(event) {
        const {x, y, k} = event.transform;
        viewport.node().style.transform = "translate(" + x + "px," + y + "px) scale(" + k + ")";
        const far = k < page.LABEL_SCALE;
        if (svg.classed("far") !== far) {
            svg.classed("far", far);
        }
        if (windowed && drawTimer === 0 && !within(viewBounds(0), drawnBounds)) {
            drawTimer = setTimeout(() => draw(true), 0);
        }
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
        laidOutChanges = -1;
        groups = new Map();
        links = new Map();
        toDraw = [];
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
    // policy refuses style attributes. Returns whether it changed them.
    function paintMark(el, d) {
        const mark = d.data instanceof More ? null : page.markOf(d.data);
        const levels = (page.markColours && page.markColours.levels) || {};
        const level = (mark && mark[1] && levels[mark[1]]) || "";
        const shade = mark ? markShade(mark) : "";
        if ((el.__mark || "") === level + "|" + shade || (!el.__mark && !level && !shade)) {
            return false;
        }
        el.__mark = level + "|" + shade;
        for (const [name, value] of [["--level", level], ["--highlight", shade]]) {
            if (value) {
                el.style.setProperty(name, value);
            } else {
                el.style.removeProperty(name);
            }
        }
        return true;
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
    // work, and what was to follow the earlier one follows it. While nothing
    // drawn has opened, closed or moved, the last layout is kept.
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
            job.before = shownPlace(anchor);
        }
        if (then) {
            job.thens.push(then);
        }
        hooks.drawing = true;
        job.cancel = () => {};
        const changes = page.layoutChanges();
        if (laidOut.length > 0 && laidOut[0].data === page.root && changes === laidOutChanges) {
            showLaidOut(job, laidOut);
            return;
        }
        const cancel = page.runInSlices(pictureSteps(), (nodes) => {
            laidOutChanges = changes;
            showLaidOut(job, nodes);
        });
        if (pending === job) {
            job.cancel = cancel;
        }
    }

    // The layout of the open part, each node given its place in the picture
    // (kept for the next one) and the picture's extent reckoned as the
    // layout's last steps.
    function* pictureSteps() {
        const nodes = yield* page.tidySteps(page.root, page.drawnChildren);
        let top = 0;
        let bottom = 0;
        let right = 0;
        for (let k = 0; k < nodes.length; k++) {
            const d = nodes[k];
            d.data.__x = d.x;
            d.data.__y = d.y;
            top = Math.min(top, d.x);
            bottom = Math.max(bottom, d.x);
            right = Math.max(right, d.y);
            if (k % 4096 === 4095) {
                yield;
            }
        }
        extent = {top, bottom, right};
        extentOf = nodes;
        return nodes;
    }

    // Where `node` is on the screen, in layout coordinates: its place in the
    // picture drawn, which a layout under way may have written over already.
    function shownPlace(node) {
        const g = groups.get(node.__id);
        return g !== undefined && g.__data__ ? [g.__data__.x, g.__data__.y] : [node.__x, node.__y];
    }

    // Draws a finished layout.
    function showLaidOut(job, nodes) {
        pending = null;
        laidOut = nodes;
        picture += 1;
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
    // every drawn label is laid out and painted again when the view's scale
    // or the picture changes, and after "Expand all below" thousands of them
    // held the page for a tenth of a second a frame (by the hundred thousand,
    // a deep chain opened to a search match, for minutes).
    const DRAW_ALL_UP_TO = 1000;
    // How far beyond the view, in views, a large picture is drawn.
    const MARGIN = 0.5;
    let laidOut = [];
    let laidOutChanges = -1;  // page.layoutChanges() when laidOut was made
    let picture = 0;          // pictures shown: an element drawn for this one is left alone
    let windowed = false;
    let drawnBounds = null;  // the part of a large picture drawn

    // The part of the picture (in layout coordinates) within `margin` views
    // of the view, with room for a node's label.
    function viewBounds(margin) {
        const [width, height] = stageSize();
        const t = d3.zoomTransform(svg.node());
        return {
            left: t.invertX(-margin * width) - COLUMN,
            right: t.invertX((1 + margin) * width) + COLUMN,
            top: t.invertY(-margin * height) - ROW,
            bottom: t.invertY((1 + margin) * height) + ROW,
        };
    }

    const within = (inner, outer) => outer !== null && inner.left >= outer.left &&
        inner.right <= outer.right && inner.top >= outer.top && inner.bottom <= outer.bottom;

    // The laid-out nodes near the view, or all of them for an ordinary
    // picture.
    function nodesToDraw() {
        windowed = laidOut.length > DRAW_ALL_UP_TO;
        if (!windowed) {
            drawnBounds = null;
            return laidOut;
        }
        const {left, right, top, bottom} = (drawnBounds = viewBounds(MARGIN));
        return laidOut.filter((d) => d.y >= left && d.y <= right && d.x >= top && d.x <= bottom);
    }

    // New marks change no place: every drawn node is brought in line again,
    // a slice at a time as after a new picture.
    function redrawMarks() {
        picture += 1;
        draw();
    }

    function redrawAfterMove() {
        if (windowed) {
            draw();
        }
    }

    // Node groups made, and elements changed, in one task: the page lays
    // out and paints what changed before it answers again, which took far
    // longer than changing it (150 new groups a task still held the page
    // for over 100 ms after "Expand all below" on a bushy tree). The rest are
    // done in the next tasks, the page answering in between.
    const ENTER_AT_ONCE = 60;
    const UPDATE_AT_ONCE = 160;
    let drawTimer = 0;

    // The SVG group of every drawn node and the link to it from its parent,
    // by __id, and the nodes still to be brought in line with the picture.
    let groups = new Map();
    let links = new Map();
    let toDraw = [];
    let drawnUpTo = 0;

    // Brings the SVG in line with the picture: the groups and links of nodes
    // no longer drawn go at once, those of drawn nodes are changed where they
    // show something else, and new ones are made, as many as one task takes
    // (drawSome), the rest in the tasks after it. A large picture whose task
    // has spent its time is drawn in the next (`later`). Going over the nodes
    // with d3's data join in every task held the page longer than the
    // changes did.
    function draw(later) {
        clearTimeout(drawTimer);
        drawTimer = 0;
        if (!later && laidOut.length > DRAW_ALL_UP_TO && page.taskSpent()) {
            hooks.drawing = true;
            drawTimer = setTimeout(() => draw(true), 0);
            return;
        }
        toDraw = nodesToDraw();
        drawnUpTo = 0;
        const wanted = new Set();
        for (const d of toDraw) {
            wanted.add(d.data.__id);
        }
        for (const map of [groups, links]) {
            for (const [id, el] of map) {
                if (!wanted.has(id)) {
                    el.remove();
                    map.delete(id);
                }
            }
        }
        drawSome();
    }

    // Brings the next nodes to draw in line with the picture, up to
    // ENTER_AT_ONCE new groups, UPDATE_AT_ONCE changed ones or the task's
    // budget; an element brought in line with this picture once is left
    // alone. After "Expand all below" every one of thousands moves: those
    // not reached yet keep their last place until the tasks after this.
    function drawSome() {
        drawTimer = 0;
        let made = 0;
        let changed = 0;
        for (; drawnUpTo < toDraw.length; drawnUpTo++) {
            const d = toDraw[drawnUpTo];
            const id = d.data.__id;
            let g = groups.get(id);
            if (g !== undefined && g.__picture === picture) {
                continue;
            }
            const fresh = g === undefined;
            if (fresh ? made >= ENTER_AT_ONCE : changed >= UPDATE_AT_ONCE) {
                break;
            }
            if ((made + changed) % 32 === 31 && page.taskSpent()) {
                break;
            }
            if (fresh) {
                g = newGroup();
                nodeLayer.node().appendChild(g);
                groups.set(id, g);
                made += 1;
            }
            if (bringInLine(g, d) && !fresh) {
                changed += 1;
            }
            if (d.parent) {
                let path = links.get(id);
                if (path === undefined) {
                    path = document.createElementNS(SVG, "path");
                    path.setAttribute("class", "link");
                    linkLayer.node().appendChild(path);
                    links.set(id, path);
                }
                path.__data__ = d;
                setOnce(path, "d", linkPath(d));
            }
        }
        const more = drawnUpTo < toDraw.length;
        hooks.drawing = more || pending !== null;
        if (more) {
            drawAfterFrame();
        }
    }

    // Draws the next nodes once the engine has shown those just drawn: tasks
    // run back to back between two frames, and the frame after them styled,
    // laid out and painted what all of them had changed at once. While it
    // waits, drawTimer is -1, so that a move of the view leaves the drawing
    // to it and a new picture (which sets drawTimer to 0) drops it.
    let framesAsked = 0;
    function drawAfterFrame() {
        drawTimer = -1;
        const asked = ++framesAsked;
        requestAnimationFrame(() => {
            if (asked === framesAsked && drawTimer === -1) {
                drawTimer = setTimeout(drawSome, 0);
            }
        });
    }

    // Makes the group `g` show the node `d` of the current picture; returns
    // whether it changed anything the page has to lay out or paint again.
    // The group carries its node as d3 would (__data__), for the page's
    // handlers and d3 selections alike.
    function bringInLine(g, d) {
        g.__data__ = d;
        g.__picture = picture;
        let changed = setOnce(g, "class", nodeClass(d));
        changed = paintMark(g, d) || changed;
        changed = setOnce(g, "transform", "translate(" + d.y + "," + d.x + ")") || changed;
        return fillNode(g, d) || changed;
    }

    // Sets an attribute of `el` unless it has that value already (a picture
    // of thousands of nodes changes few of them); returns whether it did.
    function setOnce(el, name, value) {
        if (el.getAttribute(name) === value) {
            return false;
        }
        el.setAttribute(name, value);
        return true;
    }

    const SVG = "http://www.w3.org/2000/svg";
    let groupTemplate = null;

    // A new node's group: its dot and its label's parts, copied from one
    // made once.
    function newGroup() {
        if (groupTemplate === null) {
            groupTemplate = document.createElementNS(SVG, "g");
            const circle = document.createElementNS(SVG, "circle");
            circle.setAttribute("r", "4.5");
            const text = document.createElementNS(SVG, "text");
            text.setAttribute("x", "8");
            // 0.32em of the 12px font, in pixels: a length relative to the
            // font made every label be laid out again whenever the page's
            // layout changed around the picture (the match count, the status).
            text.setAttribute("dy", "3.84");
            for (const part of ["name", "pid", "count"]) {
                const tspan = document.createElementNS(SVG, "tspan");
                tspan.setAttribute("class", part);
                text.appendChild(tspan);
            }
            groupTemplate.append(circle, text);
        }
        return groupTemplate.cloneNode(true);
    }

    // The drawn node an event of the mouse happened on, or null.
    function nodeAt(event) {
        const g = event.target instanceof Element ? event.target.closest("g.node") : null;
        return g !== null && g.__data__ ? g.__data__ : null;
    }

    // What the mouse does on a node, for every node at once: one listener
    // each on the layer of nodes, not six on every node made.
    function listenOnNodes(layer) {
        layer.addEventListener("click", (event) => {
            const d = nodeAt(event);
            if (d) {
                event.stopPropagation();
                page.hidePopups();
                page.toggle(d.data);
            }
        });
        layer.addEventListener("dblclick", (event) => {
            const d = nodeAt(event);
            if (d) {
                event.stopPropagation();
                page.showEvents(d.data);
            }
        });
        layer.addEventListener("contextmenu", (event) => {
            const d = nodeAt(event);
            if (d) {
                event.preventDefault();
                event.stopPropagation();
                page.openMenu(event, d.data);
            }
        });
        layer.addEventListener("mousemove", (event) => {
            if (nodeAt(event)) {
                page.placeAtPointer(page.tooltipBox(), event);
            }
        });
        // Entering and leaving do not bubble: caught on their way down.
        const onGroup = (event) => event.target instanceof Element &&
            event.target.matches("g.node") && event.target.__data__;
        layer.addEventListener("mouseenter", (event) => {
            if (onGroup(event)) {
                page.showTooltip(event, event.target.__data__.data);
            }
        }, true);
        layer.addEventListener("mouseleave", (event) => {
            if (onGroup(event)) {
                page.hideTooltip();
            }
        }, true);
    }

    // The label of a drawn node (its SVG group is `el`): the name, the pid
    // once the facts are in, and the descendants of a closed node; returns
    // whether it changed.
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
            return false;
        }
        el.__label = label;
        const [nameSpan, pidSpan, countSpan] = el.lastChild.childNodes;
        setMarkedText(nameSpan, name, svgMark);
        pidSpan.textContent = pid;
        countSpan.textContent = count;
        return true;
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

    // The extent of the drawn nodes in layout coordinates, reckoned with
    // the layout: going over a chain of 300,000 at a fit held the page.
    let extent = {top: 0, bottom: 0, right: 0};
    let extentOf = null;  // the laid-out nodes `extent` belongs to
    const drawnExtent = () => (extentOf === laidOut ? extent : {top: 0, bottom: 0, right: 0});

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

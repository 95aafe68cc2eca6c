// The tidy layout of the open part of the tree, made a slice at a time: the
// picture d3.tree makes (Walker's layout in Buchheim, Jünger and Leipert's
// linear form, with d3's own steps), but with its walks as loops that let
// the page take its turn every few milliseconds. A search that opens a chain
// of hundreds of thousands of processes lays them out without holding the
// page; a small picture is still laid out at once.
"use strict";

{
    const page = window.korvantisTree;
    const {ROW, COLUMN} = page;

    // How many nodes are handled between looks at the clock.
    const STEP = 1024;

    // Neighbours of one parent stand closer than cousins.
    const separation = (a, b) => (a.parent === b.parent ? 1 : 1.3);

    // A node of the picture: what it draws (`data`), its parent and children
    // in the picture, and where it goes (`x` down the window, `y` along the
    // levels). The one-letter fields are the layout's working values, named
    // as in d3's own.
    class LaidNode {
        constructor(data, parent, index) {
            this.data = data;
            this.parent = parent;
            this.children = null;
            this.depth = parent ? parent.depth + 1 : 0;
            this.i = index;  // among its siblings
            this.x = 0;
            this.y = 0;
            this.A = null;   // default ancestor
            this.a = this;   // ancestor
            this.z = 0;      // prelim
            this.m = 0;      // mod
            this.c = 0;      // change
            this.s = 0;      // shift
            this.t = null;   // thread
        }
    }

    function nextLeft(v) {
        return v.children ? v.children[0] : v.t;
    }

    function nextRight(v) {
        return v.children ? v.children[v.children.length - 1] : v.t;
    }

    function moveSubtree(wm, wp, shift) {
        const change = shift / (wp.i - wm.i);
        wp.c -= change;
        wp.s += shift;
        wm.c += change;
        wp.z += shift;
        wp.m += shift;
    }

    function executeShifts(v) {
        let shift = 0;
        let change = 0;
        const children = v.children;
        for (let i = children.length - 1; i >= 0; i--) {
            const w = children[i];
            w.z += shift;
            w.m += shift;
            change += w.c;
            shift += w.s + change;
        }
    }

    function nextAncestor(vim, v, ancestor) {
        return vim.a.parent === v.parent ? vim.a : ancestor;
    }

    // Moves the subtree of `v` clear of those of its left siblings (`w` the
    // nearest), walking their facing contours.
    function apportion(v, w, ancestor) {
        if (!w) {
            return ancestor;
        }
        let vip = v;
        let vop = v;
        let vim = w;
        let vom = v.parent.children[0];
        let sip = vip.m;
        let sop = vop.m;
        let sim = vim.m;
        let som = vom.m;
        for (;;) {
            vim = nextRight(vim);
            vip = nextLeft(vip);
            if (!vim || !vip) {
                break;
            }
            vom = nextLeft(vom);
            vop = nextRight(vop);
            vop.a = v;
            const shift = vim.z + sim - vip.z - sip + separation(vim, vip);
            if (shift > 0) {
                moveSubtree(nextAncestor(vim, v, ancestor), v, shift);
                sip += shift;
                sop += shift;
            }
            sim += vim.m;
            sip += vip.m;
            som += vom.m;
            sop += vop.m;
        }
        if (vim && !nextRight(vop)) {
            vop.t = vim;
            vop.m += sim - sop;
        }
        if (vip && !nextLeft(vom)) {
            vom.t = vip;
            vom.m += sip - som;
            ancestor = v;
        }
        return ancestor;
    }

    // Places `v` among its siblings once its children and its left siblings
    // are placed.
    function firstWalk(v) {
        const children = v.children;
        const siblings = v.parent ? v.parent.children : null;
        const w = v.i > 0 ? siblings[v.i - 1] : null;
        if (children) {
            executeShifts(v);
            const midpoint = (children[0].z + children[children.length - 1].z) / 2;
            if (w) {
                v.z = w.z + separation(v, w);
                v.m = v.z - midpoint;
            } else {
                v.z = midpoint;
            }
        } else if (w) {
            v.z = w.z + separation(v, w);
        }
        if (v.parent) {
            v.parent.A = apportion(v, w, v.parent.A || siblings[0]);
        }
    }

    // The layout of the drawn part of the tree below `top`, whose drawn
    // children `childrenOf` gives, in steps: yields every STEP nodes (for
    // page.runInSlices) and returns the laid-out nodes level by level, each level from the first child to the last
    // (the order of d3's descendants()).
    function* tidySteps(top, childrenOf) {
        const root = new LaidNode(top, null, 0);
        const nodes = [root];
        const levelStarts = [0];
        for (let head = 0; head < nodes.length; head++) {
            const node = nodes[head];
            if (node.depth === levelStarts.length) {
                levelStarts.push(head);
            }
            const kids = childrenOf(node.data);
            if (kids && kids.length > 0) {
                node.children = new Array(kids.length);
                for (let i = 0; i < kids.length; i++) {
                    const child = new LaidNode(kids[i], node, i);
                    node.children[i] = child;
                    nodes.push(child);
                }
            }
            if (head % STEP === STEP - 1) {
                yield;
            }
        }
        levelStarts.push(nodes.length);

        // The first walk takes every node after its children and its left
        // siblings. d3 walks the nodes in post order; the deepest level
        // first, each from left to right, gives the same places: a node's
        // step reads and writes only below its parent, left of itself.
        let done = 0;
        for (let level = levelStarts.length - 2; level >= 0; level--) {
            for (let k = levelStarts[level]; k < levelStarts[level + 1]; k++) {
                firstWalk(nodes[k]);
                if (++done % STEP === 0) {
                    yield;
                }
            }
        }

        // The second walk sums the modifiers from the root down, and sizes
        // the picture: the root at 0, a row per neighbour, a column a level.
        root.m -= root.z;
        for (let k = 1; k < nodes.length; k++) {
            const v = nodes[k];
            v.x = (v.z + v.parent.m) * ROW;
            v.y = v.depth * COLUMN;
            v.m += v.parent.m;
            if (k % STEP === 0) {
                yield;
            }
        }
        return nodes;
    }

    Object.assign(page, {tidySteps});
}

// The density layers of the views (view_index.js): each view's unselected
// points as shaded cells, drawn where the points would be, under the
// selected points, the handles and the overlay. One quad a view, on that
// view's layer, textured with the view's shades (one texel a cell).
import * as THREE from './vendor/three.module.js';

const VERTEX = `
varying vec2 vUv;
void main() {
  vUv = uv;
  gl_Position = vec4(position.xy, 0.0, 1.0);
}`;

// The shades' opacities, as the pictures' shade1 to shade6.
const FRAGMENT = `
uniform sampler2D uShades;
uniform vec2 uCells;
uniform vec2 uViewPixels;
uniform float uCellPixels;
uniform vec3 uColour;
varying vec2 vUv;
void main() {
  vec2 pixel = vec2(vUv.x, 1.0 - vUv.y) * uViewPixels;
  vec2 cell = floor(pixel / uCellPixels);
  float shade = floor(texture2D(uShades, (cell + 0.5) / uCells).r * 255.0 + 0.5);
  if (shade < 0.5) discard;
  float opacity = shade < 1.5 ? 0.15 : shade < 2.5 ? 0.3 : shade < 3.5 ? 0.45 : shade < 4.5 ? 0.6 : shade < 5.5 ? 0.8 : 1.0;
  gl_FragColor = vec4(uColour, opacity);
}`;

export class DensityLayers {
  // `layers`: each view's three.js layer; `order`: where the layers draw among the scene's objects.
  constructor(scene, layers, colour, cellPixels, order) {
    this.quads = {};
    for (const [name, layer] of Object.entries(layers)) {
      const material = new THREE.ShaderMaterial({
        uniforms: {
          uShades: { value: null },
          uCells: { value: new THREE.Vector2(1, 1) },
          uViewPixels: { value: new THREE.Vector2(1, 1) },
          uCellPixels: { value: cellPixels },
          uColour: { value: new THREE.Color(colour) },
        },
        vertexShader: VERTEX,
        fragmentShader: FRAGMENT,
        depthTest: false,
        depthWrite: false,
        transparent: true,
      });
      const quad = new THREE.Mesh(new THREE.PlaneGeometry(2, 2), material);
      quad.frustumCulled = false;
      quad.renderOrder = order;
      quad.visible = false;
      quad.layers.set(layer);
      quad.userData.serial = -1;
      this.quads[name] = quad;
      scene.add(quad);
    }
  }

  // Shows a view's layer ({ columns, rows, shades, serial }) or hides it (null).
  show(name, view, layer) {
    const quad = this.quads[name];
    quad.visible = layer !== null;
    if (!layer) return;
    const u = quad.material.uniforms;
    u.uViewPixels.value.set(view.width, view.height);
    if (quad.userData.serial === layer.serial) return;
    quad.userData.serial = layer.serial;
    const old = u.uShades.value;
    if (old && old.image.width === layer.columns && old.image.height === layer.rows) {
      old.image.data.set(layer.shades);
      old.needsUpdate = true;
      return;
    }
    old?.dispose();
    const texture = new THREE.DataTexture(new Uint8Array(layer.shades), layer.columns, layer.rows, THREE.RedFormat, THREE.UnsignedByteType);
    texture.unpackAlignment = 1;
    texture.magFilter = THREE.NearestFilter;
    texture.minFilter = THREE.NearestFilter;
    texture.needsUpdate = true;
    u.uShades.value = texture;
    u.uCells.value.set(layer.columns, layer.rows);
  }
}

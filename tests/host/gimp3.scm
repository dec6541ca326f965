; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; Helpers for driving plug-in-ondalux from a headless GIMP 3, after common.scm.

(define (layer-of image) (vector-ref (car (gimp-image-get-layers image)) 0))

; box is (x y width height), or #f for the whole layer.
(define (select-box image box)
  (if box
      (gimp-image-select-rectangle image CHANNEL-OP-REPLACE
                                   (car box) (cadr box) (caddr box) (cadddr box))))

; The image's pixels, exactly as stored, in a raw data file.
(define (save-raw image path) (gimp-file-save RUN-NONINTERACTIVE image path -1))

(define (run-ondalux run-mode image drawables scale turbulence)
  (status-of (lambda () (plug-in-ondalux #:run-mode run-mode #:image image
                                         #:drawables drawables #:scale scale
                                         #:disturbance turbulence))))

; The PNG at path, converted to precision, dented over box: reports the status under
; name and writes NAME-before.data, NAME-zero.data (after Scale 0, unless run-mode is
; not non-interactive) and NAME-rendered.data.
(define (render-case name path precision box run-mode scale turbulence)
  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE path)))
         (layers (car (gimp-image-get-layers image))))
    (if (not (= (car (gimp-image-get-precision image)) precision))
        (gimp-image-convert-precision image precision))
    (select-box image box)
    (save-raw image (string-append name "-before.data"))
    (if (= run-mode RUN-NONINTERACTIVE)
        (begin
          (report (string-append name "-zero")
                  (run-ondalux run-mode image layers 0.0 turbulence))
          (save-raw image (string-append name "-zero.data"))))
    (report name (run-ondalux run-mode image layers scale turbulence))
    (save-raw image (string-append name "-rendered.data"))
    (gimp-image-delete image)))

; The status of a run on a drawable that cannot be dented, and the pixels after it.
(define (refused-case name image drawables)
  (save-raw image (string-append name "-before.data"))
  (report name (run-ondalux RUN-NONINTERACTIVE image drawables 5.0 0.5))
  (save-raw image (string-append name "-rendered.data")))

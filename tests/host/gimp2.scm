; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; Helpers for driving plug-in-ondalux from a headless GIMP 2.10, after common.scm.

(define loaded-images '())

; A new image holding the PNG at path; each file is loaded only once.
(define (fresh-copy path)
  (let ((cached (assoc path loaded-images)))
    (if cached
        (car (gimp-image-duplicate (cdr cached)))
        (let ((image (car (file-png-load RUN-NONINTERACTIVE path path))))
          (set! loaded-images (cons (cons path image) loaded-images))
          (fresh-copy path)))))

(define (layer-of image) (car (gimp-image-get-active-drawable image)))

; box is (x y width height), or #f for the whole layer.
(define (select-box image box)
  (if box
      (gimp-image-select-rectangle image CHANNEL-OP-REPLACE
                                   (car box) (cadr box) (caddr box) (cadddr box))))

; Keeps the colour of fully transparent pixels, so tests see every byte.
(define (save-layer image path)
  (file-png-save2 RUN-NONINTERACTIVE image (layer-of image) path path
                  0 9 0 0 0 0 0 0 1))

(define (run-ondalux run-mode image scale turbulence)
  (status-of (lambda () (plug-in-ondalux run-mode image (layer-of image)
                                         scale turbulence))))

; Runs the filter on a copy of source and reports its status under name.
(define (render-case name source box run-mode scale turbulence output)
  (let ((image (fresh-copy source)))
    (select-box image box)
    (report name (run-ondalux run-mode image scale turbulence))
    (save-layer image output)
    (gimp-image-delete image)))

; The stored settings bytes, or "none".
(define (report-stored key)
  (let ((data (catch #f (cadr (gimp-procedural-db-get-data "plug-in-ondalux")))))
    (if data
        (apply report key (vector->list data))
        (report key "none"))))

(define (store-settings-bytes bytes)
  (gimp-procedural-db-set-data "plug-in-ondalux" (length bytes) (list->vector bytes)))

; Like report, but values appear as Scheme would read them (strings quoted).
(define (report-written key . values)
  (display key results)
  (for-each (lambda (v) (display " " results) (write v results)) values)
  (newline results))

(define positive-infinity (* 1e308 10))
(define not-a-number (- positive-infinity positive-infinity))

; Reports every pixel of drawable as bytes in its own format, row by row, under key.
(define (report-bytes key drawable)
  (let ((width (car (gimp-drawable-width drawable)))
        (height (car (gimp-drawable-height drawable))))
    (display key results)
    (do ((y 0 (+ y 1))) ((= y height))
      (do ((x 0 (+ x 1))) ((= x width))
        (for-each (lambda (byte) (display " " results) (display byte results))
                  (vector->list (cadr (gimp-drawable-get-pixel drawable x y))))))
    (newline results)))

; A gradient with noise over it.
(define (fill-with-detail image drawable width height)
  (gimp-drawable-edit-gradient-fill drawable GRADIENT-LINEAR 0 FALSE 1 0 TRUE
                                    0 0 width height)
  (plug-in-rgb-noise RUN-NONINTERACTIVE image drawable TRUE FALSE 0.2 0.2 0.2 0.2))

; A drawable of kind ("rgb" "rgba" "gray" "graya" "mask" "channel") at precision in a
; new image, holding a gradient (through transparency where there is alpha) and noise,
; so that neighbouring pixels differ below 8 bits too. Returns (image drawable).
(define (precision-drawable kind precision width height)
  (let* ((grey (member kind '("gray" "graya" "mask" "channel")))
         (alpha (member kind '("rgba" "graya")))
         (image (car (gimp-image-new-with-precision width height (if grey GRAY RGB)
                                                    precision)))
         (type (if grey (if alpha GRAYA-IMAGE GRAY-IMAGE) (if alpha RGBA-IMAGE RGB-IMAGE)))
         (layer (car (gimp-layer-new image width height type "pixels" 100
                                     LAYER-MODE-NORMAL))))
    (gimp-image-insert-layer image layer 0 0)
    (gimp-context-set-foreground '(250 40 20))
    (gimp-context-set-background '(10 90 240))
    (if alpha (gimp-context-set-gradient-fg-transparent) (gimp-context-set-gradient-fg-bg-rgb))
    (fill-with-detail image layer width height)
    (cond ((equal? kind "mask")
           (let ((mask (car (gimp-layer-create-mask layer ADD-MASK-COPY))))
             (gimp-layer-add-mask layer mask)
             (list image mask)))
          ((equal? kind "channel")
           (let ((channel (car (gimp-channel-new image width height "channel" 50
                                                 '(0 0 0)))))
             (gimp-image-insert-channel image channel 0 0)
             (fill-with-detail image channel width height)
             (list image channel)))
          (else (list image layer)))))

; Reports a drawable's bytes before, after Scale 0 and after Scale and Turbulence.
(define (precision-case name kind precision width height box scale turbulence)
  (let* ((made (precision-drawable kind precision width height))
         (image (car made))
         (drawable (cadr made))
         (run (lambda (key scale turbulence)
                (report key (status-of (lambda () (plug-in-ondalux RUN-NONINTERACTIVE
                                                    image drawable scale turbulence))))
                (report-bytes (string-append key "-bytes") drawable))))
    (select-box image box)
    (report-bytes (string-append name "-before-bytes") drawable)
    (run (string-append name "-zero") 0.0 turbulence)
    (run (string-append name "-rendered") scale turbulence)
    (gimp-image-delete image)))

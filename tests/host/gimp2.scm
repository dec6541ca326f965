; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; GIMP 2.10's side of the test programs.

(define (load-image path) (car (file-png-load RUN-NONINTERACTIVE path path)))
(define (first-layer image) (vector-ref (cadr (gimp-image-get-layers image)) 0))
(define (new-group image) (car (gimp-layer-group-new image)))
(define (host-kind image layer kind) (error (string-append "no kind " kind)))

; GIMP 2.10 has no effects, so every drawable goes through a copy.
(define (only-layer? image drawable) #f)
(define (copy-drawable drawable) (gimp-edit-copy drawable))
(define (export-raw image path)
  (file-raw-save RUN-NONINTERACTIVE image (first-layer image) path path))
(define (effects-of drawable) '())

(define (run-ondalux run-mode image drawables scale turbulence)
  (list (status-of (lambda () (plug-in-ondalux run-mode image (car drawables)
                                               scale turbulence)))
        image drawables))

; The stored settings bytes, or "none".
(define (report-stored key)
  (let ((data (catch #f (cadr (gimp-procedural-db-get-data "plug-in-ondalux")))))
    (apply report key (if data (vector->list data) '("none")))))

(define (store-settings bytes)
  (gimp-procedural-db-set-data "plug-in-ondalux" (length bytes) (list->vector bytes)))
